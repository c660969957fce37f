// The base class's operations, the shared heap and weak references.
#include "objects/base_object.h"

#include "audio/sound.h"

#include <cstdlib>

extern "C" void* dlmalloc(size_t bytes) { return std::malloc(bytes); }
extern "C" void dlfree(void* p) { std::free(p); }
extern "C" void* dlrealloc(void* p, size_t bytes) { return std::realloc(p, bytes); }

DynArray<BaseObject*> deleted_gameobjs;

void WeakRefTarget::clearWeakRefs() {
  WeakRef* head = weakRefs;
  WeakRef* r = head;
  while (r) {
    WeakRef* next = r->next;
    r->object = nullptr;
    r->link = nullptr;
    r->next = nullptr;
    if (next == head) break;
    r = next;
  }
  weakRefs = nullptr;
}

BaseObject::~BaseObject() { clearWeakRefs(); }

void BaseObject::destroy() {
  if (flags != 0) return;
  flags = OBJ_DESTROYED;
  deleted_gameobjs.push_back(this);
  stop_sound_loops(this);
  onDestroy();
}

void BaseObject::onDestroy() {}

const char* BaseObject::getName() { return "BaseObject"; }

void* BaseObject::operator new(size_t bytes) {
  void* p = dlmalloc(bytes);
  if (!p) fatal("out of memory (object of %d bytes)", int(bytes));
  return p;
}

void BaseObject::operator delete(void* p) { dlfree(p); }

// The list is circular and doubly linked: `link` is the previous reference.
void set_weak_ref(WeakRef& ref, WeakRefTarget* target) {
  if (ref.object) {
    WeakRefTarget* old = ref.object;
    if (ref.next == &ref) {
      old->weakRefs = nullptr;
    } else {
      WeakRef* prev = static_cast<WeakRef*>(ref.link);
      prev->next = ref.next;
      ref.next->link = prev;
      if (old->weakRefs == &ref) old->weakRefs = ref.next;
    }
  }
  ref.object = nullptr;
  ref.link = nullptr;
  ref.next = nullptr;
  if (!target) return;
  ref.object = target;
  WeakRef* head = target->weakRefs;
  if (!head) {
    ref.next = &ref;
    ref.link = &ref;
    target->weakRefs = &ref;
  } else {
    WeakRef* last = static_cast<WeakRef*>(head->link);
    last->next = &ref;
    ref.link = last;
    ref.next = head;
    head->link = &ref;
  }
}
