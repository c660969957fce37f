#pragma once
// The GUI element tree, its events, handlers and behaviours.
#include <cstdint>

#include "platform/input.h"
#include "containers/dyn_array.h"
#include "gui/gui_types.h"

struct GuiElement;

// Event type bits; a handler's mask is an OR of them.
enum : uint32_t {
  GUI_EV_COMMAND = 1,
  GUI_EV_HITTEST = 2,
  GUI_EV_KEY = 4,
  GUI_EV_MOUSE_ENTER = 16,
  GUI_EV_MOUSE_LEAVE = 32,
  GUI_EV_BUTTON_UP = 64,
  GUI_EV_BUTTON_DOWN = 128,
  GUI_EV_MOUSE_MOVE = 256,
  GUI_EV_WHEEL = 512,
  GUI_EV_VISIBILITY = 1024,
};

// How an event travels from the element it is sent from.
enum GuiDispatchMode : int {
  GUI_DOWN_PATH = 0,  // ancestors from the top down, then the element
  GUI_BUBBLE = 1,     // the element, then its ancestors upwards
  GUI_DIRECT = 2,     // the element only
  GUI_BROADCAST = 3,  // the element's subtree in pre-order
};

// A broadcast handler returning this skips the element's children.
constexpr int GUI_SKIP_CHILDREN = 2;

struct GuiEvent {
  uint32_t type;
  explicit GuiEvent(uint32_t t) : type(t) {}
  virtual ~GuiEvent() = default;
};

// A platform input event, or a mouse enter/leave made from one.
struct GuiInputEvent : GuiEvent {
  InputEvent input;
  GuiInputEvent(uint32_t t, const InputEvent& ie) : GuiEvent(t), input(ie) {}
};

struct GuiNotifyEvent : GuiEvent {
  GuiElement* element;
  explicit GuiNotifyEvent(GuiElement* e) : GuiEvent(GUI_EV_VISIBILITY), element(e) {}
};

struct GuiCommandEvent : GuiEvent {
  uint32_t id;
  int param;  // the mouse button that made the command
  GuiElement* source;
  GuiCommandEvent(uint32_t i, int p, GuiElement* s) : GuiEvent(GUI_EV_COMMAND), id(i), param(p), source(s) {}
};

struct GuiHittestEvent : GuiEvent {
  float x, y;
  GuiElement* result = nullptr;
  GuiHittestEvent(float px, float py) : GuiEvent(GUI_EV_HITTEST), x(px), y(py) {}
};

class GuiEventHandler {
 public:
  explicit GuiEventHandler(uint32_t m) : mask(m) {}
  virtual int handle(GuiEvent& ev, GuiElement* el, int mode) = 0;
  virtual void attach(GuiElement* el) = 0;
  virtual void detach(GuiElement* el) = 0;
  uint32_t mask;

 protected:
  ~GuiEventHandler() = default;  // handlers own themselves (see detach)
};

class GuiBehaviour {
 public:
  virtual const char* name() = 0;
  virtual void apply(GuiElement* el) = 0;

 protected:
  ~GuiBehaviour() = default;
};

enum : uint8_t { GUI_HIDDEN = 1 };

struct GuiElement {
  GuiRect contentRect, paddingRect, marginRect;
  float borderWidths[4] = {0, 0, 0, 0};  // top, left, right, bottom
  char name[64] = "";
  GuiElement* parent = nullptr;
  DynArray<GuiElement*> children;
  uint32_t background = 0;
  uint32_t borderColors[4] = {0xFF808080, 0xFF808080, 0xFF808080, 0xFF808080};
  char text[256] = "";
  uint32_t textColor = 0xFFFFFFFF;
  uint8_t textScale = 1;
  int8_t hAlign = 0, vAlign = 0;
  uint8_t flags = 0;
  GuiLen width = gui_auto(), height = gui_auto();
  GuiLen x, y;
  GuiSides padding, border, margin;
  DynArray<GuiEventHandler*> handlers;
  uint32_t handlerMask = 0;
  uint32_t id = 0;

  GuiElement() = default;
  GuiElement(const GuiElement&) = delete;
  GuiElement& operator=(const GuiElement&) = delete;
  // Detaches from the parent, destroys the children and detaches the
  // handlers, each from last to first.
  ~GuiElement();

  void setName(const char* s);
  void setText(const char* s);

  // Negative positions count from the end (-1 = before the last entry);
  // the result is clamped to the list.
  void insertChild(GuiElement* child, int pos);
  void removeChild(GuiElement* child);
  void addHandler(GuiEventHandler* h, int pos);
  void removeHandler(GuiEventHandler* h);

  GuiElement* findByName(const char* s);
  GuiElement* findById(uint32_t i);

  bool isHidden() const { return flags & GUI_HIDDEN; }
  // True when this element or any ancestor is hidden.
  bool isHiddenInTree() const;
  void setHidden(bool hidden);

  // Runs the behaviour registered under `name` (any letter case) on this element.
  void applyBehaviour(const char* name);

  // Sends an event by mode; `stop` bounds the walk up or down the ancestors
  // (null = the root). Returns the first non-zero handler result.
  int dispatch(GuiEvent& ev, int mode, GuiElement* stop = nullptr);
  // The first element of this subtree, in pre-order, that takes the point.
  GuiElement* hitTest(float px, float py);
};

// The behaviour registry, one per program.
void register_gui_behaviour(GuiBehaviour* b);
void unregister_gui_behaviour(GuiBehaviour* b);
GuiBehaviour* find_gui_behaviour(const char* name);
int gui_behaviour_count();
