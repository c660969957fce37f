#pragma once
// The device-layer entry points the shell drives.
#include "device/d3d_render.h"
#include "device/screenshot.h"
