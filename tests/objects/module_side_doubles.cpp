// The host tests run without the module: these give the module-side classes
// the game declares the minimal definitions the tests need.
#include "objects/game_objects.h"

const char* GameObj::getName() { return "GameObj"; }
void GameObj::onDestroy() {}
void GameObj::update(float) {}
void GameObj::onWorldGenerate() {}
void GameObj::render(float) {}
void GameObj::renderShadow(float) {}
void GameObj::renderDebug(float) {}
vec4f GameObj::boundRect() { return vec4f(0, 0, 0, 0); }
