#pragma once
// The game's own view of the object lists: all 31 in re-linking order, each
// seen as a list of BaseObject pointers (every module class derives from
// BaseObject alone, so an object's address is its BaseObject address).
#include "objects/base_object.h"

constexpr int GAMEOBJ_LIST_COUNT = 31;

struct ObjectListEntry {
  const char* name;
  DynArray<BaseObject*>* list;
};
extern const ObjectListEntry gameobj_lists[GAMEOBJ_LIST_COUNT];

// Frees the lists' storage and the deferred-deletion queue at exit (the
// objects themselves belong to the module).
void free_object_lists();
