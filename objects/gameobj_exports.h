#pragma once
// The game's services the module calls back, gathered from the subsystems
// that declare them: world arrays and generators, noise and random numbers,
// water, ramps, particles, trails and the effect script, sound, drawing helpers,
// platform services, logging and on-screen messages, the camera and the step
// clock. The game links with its symbols exported, so the module leaves them
// undefined and they resolve when it is loaded.
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/key_bindings.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/vk_codes.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/debug_vis.h"
#include "device/font.h"
#include "objects/object_sounds.h"
#include "objects/shell_exports.h"
#include "render/common_fx.h"
#include "render/particles.h"
#include "render/shadows.h"
#include "render/trailFx.h"
#include "script/fx_script.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/ramps.h"
#include "world/world_step.h"
