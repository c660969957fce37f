// The element tree: ownership, insertion, search, visibility and dispatch.
#include "gui/gui_element.h"

#include <strings.h>

#include <cstring>

#include "platform/log.h"

namespace {
// Turns a position that may count from the end into an index 0..count.
int insertion_index(int pos, int count) {
  if (pos < 0) pos += count;
  if (pos < 0) return 0;
  return pos > count ? count : pos;
}

template <typename T>
int index_of_last(const DynArray<T>& arr, T v) {
  for (int i = arr.count - 1; i >= 0; i--)
    if (arr[i] == v) return i;
  return -1;
}

void copy_bounded(char* dst, const char* src, size_t BS) {
  if (!src) src = "";
  size_t l = std::strlen(src);
  G_ASSERT(l<BS);
  std::memcpy(dst, src, l + 1);
}

int run_handlers(GuiElement* el, GuiEvent& ev, int mode) {
  if (!(el->handlerMask & ev.type)) return 0;
  // A handler may add or remove handlers; the bound is re-read every turn.
  for (int i = 0; i < el->handlers.count; i++) {
    GuiEventHandler* h = el->handlers[i];
    if (!(h->mask & ev.type)) continue;
    if (int r = h->handle(ev, el, mode)) return r;
  }
  return 0;
}

// Pre-order walk; a result of GUI_SKIP_CHILDREN prunes one subtree only.
int broadcast(GuiElement* el, GuiEvent& ev) {
  int r = run_handlers(el, ev, GUI_BROADCAST);
  if (r == GUI_SKIP_CHILDREN) return 0;
  if (r) return r;
  for (int i = 0; i < el->children.count; i++)
    if (int rc = broadcast(el->children[i], ev)) return rc;
  return 0;
}

int down_path(GuiElement* el, GuiEvent& ev, GuiElement* stop) {
  if (el != stop && el->parent)
    if (int r = down_path(el->parent, ev, stop)) return r;
  return run_handlers(el, ev, GUI_DOWN_PATH);
}
}  // namespace

float eval_gui_len(const GuiLen& len, float em, float pw, float ph, float automatic) {
  switch (len.mode) {
    case GUI_AUTO: return automatic;
    case GUI_PX: return len.value;
    case GUI_EM: return len.value * em;
    case GUI_PCT_W: return len.value * 0.01f * pw;
    case GUI_PCT_H: return len.value * 0.01f * ph;
    default: G_ASSERT(!"unknown GuiLen mode"); return 0;
  }
}

GuiElement::~GuiElement() {
  if (parent) parent->removeChild(this);
  while (!children.empty()) delete children[children.count - 1];
  while (!handlers.empty()) removeHandler(handlers[handlers.count - 1]);
  G_ASSERT(children.empty());
  G_ASSERT(handlers.empty());
}

void GuiElement::setName(const char* s) { copy_bounded(name, s, sizeof(name)); }
void GuiElement::setText(const char* s) { copy_bounded(text, s, sizeof(text)); }

void GuiElement::insertChild(GuiElement* child, int pos) {
  G_ASSERT(child && child != this);
  if (child->parent) child->parent->removeChild(child);
  children.insert(insertion_index(pos, children.count), child);
  child->parent = this;
}

void GuiElement::removeChild(GuiElement* child) {
  int i = index_of_last(children, child);
  if (i < 0) return;
  children.erase(i);
  child->parent = nullptr;
}

void GuiElement::addHandler(GuiEventHandler* h, int pos) {
  G_ASSERT(h);
  handlers.insert(insertion_index(pos, handlers.count), h);
  handlerMask |= h->mask;
  h->attach(this);
}

void GuiElement::removeHandler(GuiEventHandler* h) {
  int i = index_of_last(handlers, h);
  if (i < 0) return;
  handlers.erase(i);
  handlerMask = 0;
  for (GuiEventHandler* other : handlers) handlerMask |= other->mask;
  h->detach(this);  // may free the handler
}

GuiElement* GuiElement::findByName(const char* s) {
  if (!s || !*s) return nullptr;
  if (std::strcmp(name, s) == 0) return this;
  for (GuiElement* c : children)
    if (GuiElement* r = c->findByName(s)) return r;
  return nullptr;
}

GuiElement* GuiElement::findById(uint32_t i) {
  if (!i) return nullptr;
  if (id == i) return this;
  for (GuiElement* c : children)
    if (GuiElement* r = c->findById(i)) return r;
  return nullptr;
}

bool GuiElement::isHiddenInTree() const {
  for (const GuiElement* e = this; e; e = e->parent)
    if (e->isHidden()) return true;
  return false;
}

void GuiElement::setHidden(bool hidden) {
  if (hidden == isHidden()) return;
  flags = hidden ? (flags | GUI_HIDDEN) : (flags & ~GUI_HIDDEN);
  GuiNotifyEvent ev(this);
  dispatch(ev, GUI_BROADCAST);
}

void GuiElement::applyBehaviour(const char* behaviour) {
  if (GuiBehaviour* b = find_gui_behaviour(behaviour)) b->apply(this);
}

int GuiElement::dispatch(GuiEvent& ev, int mode, GuiElement* stop) {
  switch (mode) {
    case GUI_DIRECT: return run_handlers(this, ev, mode);
    case GUI_DOWN_PATH: return down_path(this, ev, stop);
    case GUI_BUBBLE:
      for (GuiElement* e = this; e; e = e->parent) {
        if (int r = run_handlers(e, ev, mode)) return r;
        if (e == stop) break;
      }
      return 0;
    case GUI_BROADCAST: return broadcast(this, ev);
    default: G_ASSERT(!"unknown dispatch mode"); return 0;
  }
}

GuiElement* GuiElement::hitTest(float px, float py) {
  GuiHittestEvent ev(px, py);
  dispatch(ev, GUI_BROADCAST);
  return ev.result;
}

// ---- behaviour registry ----
namespace {
DynArray<GuiBehaviour*> behaviours;
}

void register_gui_behaviour(GuiBehaviour* b) {
  if (b && index_of_last(behaviours, b) < 0) behaviours.push_back(b);
}

void unregister_gui_behaviour(GuiBehaviour* b) {
  int i = index_of_last(behaviours, b);
  if (i < 0) return;
  behaviours[i] = behaviours[behaviours.count - 1];
  behaviours.pop();
}

GuiBehaviour* find_gui_behaviour(const char* name) {
  if (!name) return nullptr;
  for (GuiBehaviour* b : behaviours)
    if (strcasecmp(b->name(), name) == 0) return b;
  return nullptr;
}

int gui_behaviour_count() { return behaviours.count; }
