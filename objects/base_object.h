#pragma once
// The object model shared by the game and the game-object module: weak
// references, the object base class, the shared heap and the queue of
// destroyed objects. Both sides compile against this header; the game
// defines the base class's operations and exports them to the module.
#include <cstddef>
#include <cstdint>

#include "containers/dyn_array.h"

// The one heap of the process, exported so that objects the module allocates
// can be freed by either side.
extern "C" void* dlmalloc(size_t bytes);
extern "C" void dlfree(void* p);
extern "C" void* dlrealloc(void* p, size_t bytes);

struct WeakRefTarget;

// One weak reference: the object, a link of the owner's choosing and the next
// reference to the same object (the list is circular through the target's head).
struct WeakRef {
  WeakRefTarget* object = nullptr;
  void* link = nullptr;
  WeakRef* next = nullptr;
};

struct WeakRefTarget {
  WeakRef* weakRefs = nullptr;  // head of the circular list of references to us

  WeakRefTarget() = default;
  WeakRefTarget(const WeakRefTarget&) = delete;
  WeakRefTarget& operator=(const WeakRefTarget&) = delete;
  // Nulls every weak reference so that they read as null once we are gone.
  ~WeakRefTarget() { clearWeakRefs(); }
  void clearWeakRefs();
};

// flags bits.
constexpr uint32_t OBJ_DESTROYED = 1;  // destroy() ran; the object waits in deleted_gameobjs
constexpr uint32_t OBJ_RELINKED = 2;   // set only while a new module is being linked

// Base of every module class. Layout: dispatch pointer, weak-reference head,
// flags. The operations below are the first four dispatch slots; module
// classes add theirs after them.
struct BaseObject : WeakRefTarget {
  uint32_t flags = 0;

  BaseObject() = default;
  virtual ~BaseObject();
  // Marks the object destroyed and queues it for freeing; a second call does nothing.
  virtual void destroy();
  // Called once by destroy(); the module's classes react here.
  virtual void onDestroy();
  virtual const char* getName();

  // Objects live on the shared heap whichever side frees them.
  static void* operator new(size_t bytes);
  static void operator delete(void* p);
};

// Objects destroyed and not yet freed. The game only appends; the module
// frees them and empties the queue.
extern DynArray<BaseObject*> deleted_gameobjs;

// Sets or clears a weak reference: `ref` is unlinked from its old target and,
// when `target` is not null, linked into the target's list.
void set_weak_ref(WeakRef& ref, WeakRefTarget* target);
