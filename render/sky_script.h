#pragma once
// The sky script's VM: opened on the main file (fatal when the VM cannot be
// made or the file fails), polled for changed files by the sky.
#include "render/sky.h"

Sky::ColorSource* open_sky_script(const char* main_file);
void close_sky_script();
