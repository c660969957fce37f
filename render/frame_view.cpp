#include "render/frame_view.h"

namespace {
FrameView current_view;
}

const FrameView& render_view() { return current_view; }
void set_render_view(const FrameView& view) { current_view = view; }
void set_render_view_camera(const Matrix44& itm) { current_view.itm = itm; }
