#pragma once
// The effect script service: "test/fx.nut" in a reloadable VM of its own,
// with the ramp classes, the vector and colour helpers and two functions
// that spawn particles. Native code and the game-object module call the
// script's named effects with call_fx_script; the script's "update_fx", when
// it has one, runs every simulation step. Script errors are shown on screen
// as "Error in fx script:\n..." and never stop the program.
#include <squirrel.h>

#include "platform/math_types.h"
#include "script/sqVMReload.h"
#include "world/ramps.h"

constexpr const char* FX_SCRIPT = "test/fx.nut";
constexpr const char* FX_SCRIPT_ERROR = "Error in fx script:\n%s";
// Watchdog of the effect VM: a run of a script file, an update_fx step or an
// effect call longer than this is stopped with "script ran for more than
// 0.5 s"; the script is then not called again until one of its files changes.
constexpr float FX_SCRIPT_TIME_LIMIT_S = 0.5f;

// The particle functions live above this layer; whoever owns them fills
// these in before start (unset ones make the script functions do nothing).
using FxAddParticle = void (*)(const vec4f& pos, const vec4f& vel, const vec4f& accel, float life, float delay,
                               float size, D3dColor color, float mapU, float mapV, float mapSize, float startRoll,
                               float rollScale, const ColorRamp* colorAnim, const FloatRamp* sizeAnim,
                               const FloatRamp* rollAnim);
struct FxScriptHooks {
  FxAddParticle addBlendParticle = nullptr;
  FxAddParticle addGlowParticle = nullptr;
  void (*resetCommonFx)() = nullptr;  // removes every particle and trail
  int (*liveParticles)() = nullptr;   // how many particles are alive
};
extern FxScriptHooks fx_script_hooks;

extern SqReloadableVM fx_script_vm;

// Opens the VM (fatal when it cannot be made), registers the functions,
// runs the main script and binds "update_fx".
void fx_script_start(const char* main_script = FX_SCRIPT);
// Calls "update_fx" with dt when the script has one.
void fx_script_update(float dt);
// When a script file changed: clears the error, removes all particles,
// runs every file again and binds "update_fx" again. True when it reloaded.
bool fx_script_check_reload();
void fx_script_stop();
bool fx_script_running();
// The effect function running now ("fireball_fx", "update_fx"), or null.
const char* fx_script_running_function();

// Calls the script function `name` with three vectors and a number
// (exported for the game-object module).
void call_fx_script(const char* name, const vec4f& a, const vec4f& b, const vec4f& c, float f);

// Registers "add_blend_particle" and "add_glow_particle" into a VM.
void register_fx_functions(HSQUIRRELVM vm);
// The "color" slot rule: an integer is 0xAARRGGBB unchanged, anything else
// converts as a vec4f clamped to 0..1 and packed.
D3dColor fx_slot_color(HSQUIRRELVM vm, SQInteger idx);
// How many distinct script ramps are held for live particles: each one is
// kept from collection until no particle is left.
int fx_pinned_ramp_count();
