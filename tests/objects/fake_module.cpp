// A stand-in game-object module for the host's linking tests, built in
// several variants: FAKE_CLASS_COUNT classes, FAKE_MISSING_ENTRY naming an
// entry point it lacks, FAKE_SIZE_BUMP changing one class's reported size.
// FAKE_PADDING moves its data; FAKE_NO_LAYOUTS leaves out the class layout table. Its "dispatch tables" are distinct addresses that the tests plant in
// objects they never call through.
#include <cstring>

#include "objects/module_contract.h"

#ifndef FAKE_CLASS_COUNT
#define FAKE_CLASS_COUNT GAMEOBJ_CLASS_COUNT
#endif
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
#ifdef FAKE_PADDING
// Moves this variant's tables, so that they differ from another variant's
// even when both are mapped at the same address one after the other.
char padding[4096] __attribute__((used));
#endif
void* fake_tables[FAKE_CLASS_COUNT][4];
void* class_table[FAKE_CLASS_COUNT];
GameobjClassLayout layouts[FAKE_CLASS_COUNT];
char names[FAKE_CLASS_COUNT][16];

void entry_point() {}
}  // namespace

FAKE_EXPORT void* get_gameobj_func_by_name([[maybe_unused]] const char* name) {
#ifdef FAKE_MISSING_ENTRY
  if (std::strcmp(name, FAKE_MISSING_ENTRY) == 0) return nullptr;
#endif
  // It keeps no run state.
  if (std::strcmp(name, "run_state_layout") == 0) return nullptr;
  return reinterpret_cast<void*>(&entry_point);
}

FAKE_EXPORT void* const* get_gameobj_vtables(int* count) {
  for (int i = 0; i < FAKE_CLASS_COUNT; i++) class_table[i] = fake_tables[i];
  *count = FAKE_CLASS_COUNT;
  return class_table;
}

#ifndef FAKE_NO_LAYOUTS
FAKE_EXPORT const GameobjClassLayout* get_gameobj_class_layouts(int* count) {
  for (int i = 0; i < FAKE_CLASS_COUNT; i++) {
    std::strcpy(names[i], "Class");
    names[i][5] = char('A' + i % 26);
    names[i][6] = char('a' + i / 26);
    names[i][7] = 0;
    layouts[i] = {names[i], 32 + 8 * i};
  }
#ifdef FAKE_SIZE_BUMP
  layouts[FAKE_SIZE_BUMP].size += 8;
#endif
  *count = FAKE_CLASS_COUNT;
  return layouts;
}
#endif
