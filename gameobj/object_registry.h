// Keeping the object lists: an object joins GameObj_list and its class's
// list when made, and leaves every list (and its proximity bin) when destroyed.
#pragma once
#include "module_api.h"

// Takes the object out of every list the module fills.
void unlist_everywhere(BaseObject* obj);
// Frees every destroyed object; the game only queues them.
void free_deleted_objects();

// Makes an object of class T and puts it into GameObj_list (unless it is a
// spell, which stays out of the world) and into its own class's list.
template <typename T>
T* spawn(DynArray<T*>& own_list, bool in_world = true) {
  T* obj = new T();
  if (in_world) GameObj_list.push_back(obj);
  own_list.push_back(obj);
  return obj;
}

// Makes an object of class T that stands in the list of its base class (a
// sink in the springs' list).
template <typename T, typename Base>
T* spawn_as(DynArray<Base*>& base_list) {
  T* obj = new T();
  GameObj_list.push_back(obj);
  base_list.push_back(obj);
  return obj;
}

// Visits a list from the end, so that an object leaving the list while it is
// visited does not make the walk skip another.
template <typename List, typename Fn>
void for_each_object(List& list, Fn fn) {
  for (int i = list.count - 1; i >= 0; i--)
    if (i < list.count) fn(list.data[i]);
}
