#pragma once
// The sky script's VM: opened on the main file (fatal when the VM cannot be
// made or the file fails), polled for changed files by the sky.
#include "render/sky.h"

// Watchdog of the sky VM: a call of the colour function (once a frame) or a
// run of a script file longer than this is stopped with "script ran for more
// than 0.5 s"; the sky shows the error, uses its default colours and calls
// the script no more until a changed file is run again.
constexpr float SKY_SCRIPT_TIME_LIMIT_S = 0.5f;

Sky::ColorSource* open_sky_script(const char* main_file);
void close_sky_script();
