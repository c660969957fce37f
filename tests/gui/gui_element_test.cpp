// The element tree: insertion, destruction, search, dispatch and visibility.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/gui_element.h"
#include "gui/layout.h"

namespace {
std::vector<std::string> trace;

// Records every call as "<tag>:<what>" and answers with a fixed result.
struct Recorder final : GuiEventHandler {
  std::string tag;
  int result;
  Recorder(std::string t, uint32_t mask, int r = 0) : GuiEventHandler(mask), tag(std::move(t)), result(r) {}
  int handle(GuiEvent&, GuiElement*, int) override {
    trace.push_back(tag);
    return result;
  }
  void attach(GuiElement*) override { trace.push_back(tag + ":attach"); }
  void detach(GuiElement*) override { trace.push_back(tag + ":detach"); }
};

GuiElement* child(GuiElement* parent, const char* name, uint32_t id = 0) {
  GuiElement* e = createElement(gui_auto(), gui_auto(), {}, {}, parent);
  e->setName(name);
  e->id = id;
  return e;
}

std::string names(const GuiElement* parent) {
  std::string s;
  for (const GuiElement* c : parent->children) s += c->name;
  return s;
}
}  // namespace

TEST(GuiElement, NegativePositionsCountFromTheEndAndInsertionMovesTheChild) {
  GuiElement root, other;
  for (const char* n : {"a", "b", "c"}) {
    auto* e = new GuiElement;
    e->setName(n);
    root.insertChild(e, -1);
  }
  EXPECT_EQ(names(&root), "bca") << "-1 inserts before the last entry";
  auto* d = new GuiElement;
  d->setName("d");
  root.insertChild(d, 99);
  root.insertChild(new GuiElement, -99);
  EXPECT_EQ(names(&root), "bcad");
  other.insertChild(root.children[2], 0);  // the unnamed one went first
  EXPECT_EQ(names(&root), "bad");
  EXPECT_EQ(names(&other), "c");
  EXPECT_EQ(other.children[0]->parent, &other);
  // createElement appends with the same rule.
  GuiElement p;
  child(&p, "1"), child(&p, "2"), child(&p, "3");
  EXPECT_EQ(names(&p), "231");
}

TEST(GuiElement, DestructionDetachesHandlersAndChildrenLastToFirst) {
  trace.clear();
  Recorder h1("h1", 1), h2("h2", 1), k1("k1", 1), k2("k2", 1);
  auto* root = new GuiElement;
  GuiElement* a = child(root, "a");
  GuiElement* b = child(root, "b");
  a->addHandler(&k1, -1);
  b->addHandler(&k2, -1);
  root->addHandler(&h1, -1);
  root->addHandler(&h2, 5);
  trace.clear();
  delete a;
  EXPECT_EQ(names(root), "b") << "a dying child leaves its parent";
  delete root;
  // root's children were [b, a] before a went; b goes first, then the handlers from last to first.
  std::vector<std::string> want = {"k1:detach", "k2:detach", "h2:detach", "h1:detach"};
  EXPECT_EQ(trace, want);
}

TEST(GuiElement, HandlerMaskFollowsAddAndRemove) {
  GuiElement e;
  Recorder a("a", 1 | 4), b("b", 16);
  e.addHandler(&a, -1);
  e.addHandler(&b, -1);
  EXPECT_EQ(e.handlerMask, 1u | 4 | 16);
  e.removeHandler(&a);
  EXPECT_EQ(e.handlerMask, 16u);
  e.removeHandler(&a);  // not attached: nothing happens
  EXPECT_EQ(e.handlers.count, 1);
  e.removeHandler(&b);
  EXPECT_EQ(e.handlerMask, 0u);
}

TEST(GuiElement, FindByNameAndIdSearchDepthFirst) {
  GuiElement root;
  root.setName("root");
  GuiElement* a = child(&root, "a", 1);
  GuiElement* a1 = child(a, "x", 2);
  GuiElement* b = child(&root, "x", 3);
  // createElement order: a, then b goes before a (position -1).
  EXPECT_EQ(root.children[0], b);
  EXPECT_EQ(root.findByName("x"), b) << "first in depth-first order of the children";
  EXPECT_EQ(a->findByName("x"), a1);
  EXPECT_EQ(root.findByName("root"), &root);
  EXPECT_EQ(root.findByName("X"), nullptr) << "case-sensitive";
  EXPECT_EQ(root.findByName(""), nullptr);
  EXPECT_EQ(root.findByName(nullptr), nullptr);
  EXPECT_EQ(root.findById(2), a1);
  EXPECT_EQ(root.findById(0), nullptr) << "0 is no id, even though the root has it";
  EXPECT_EQ(root.findById(7), nullptr);
}

TEST(GuiElement, DispatchModesVisitInOrderAndStopOnAResult) {
  // The handlers outlive the tree that detaches them.
  Recorder r("root", 1), m("mid", 1), l("leaf", 1), s("sib", 1, GUI_SKIP_CHILDREN), l2("leaf2", 1),
      other("wrongmask", 2);
  GuiElement root;
  GuiElement* mid = child(&root, "mid");
  GuiElement* leaf = child(mid, "leaf");
  GuiElement* sib = child(&root, "sib");  // goes before mid
  GuiElement* leaf2 = child(sib, "leaf2");
  root.addHandler(&r, -1);
  mid->addHandler(&m, -1);
  leaf->addHandler(&other, -1);
  leaf->addHandler(&l, -1);
  sib->addHandler(&s, -1);
  leaf2->addHandler(&l2, -1);
  GuiCommandEvent ev(1, 0, leaf);

  trace.clear();
  EXPECT_EQ(leaf->dispatch(ev, GUI_BUBBLE), 0);
  EXPECT_EQ(trace, (std::vector<std::string>{"leaf", "mid", "root"}));
  trace.clear();
  leaf->dispatch(ev, GUI_BUBBLE, mid);
  EXPECT_EQ(trace, (std::vector<std::string>{"leaf", "mid"}));
  trace.clear();
  leaf->dispatch(ev, GUI_DOWN_PATH);
  EXPECT_EQ(trace, (std::vector<std::string>{"root", "mid", "leaf"}));
  trace.clear();
  leaf->dispatch(ev, GUI_DIRECT);
  EXPECT_EQ(trace, (std::vector<std::string>{"leaf"}));
  trace.clear();
  EXPECT_EQ(root.dispatch(ev, GUI_BROADCAST), 0);
  EXPECT_EQ(trace, (std::vector<std::string>{"root", "sib", "mid", "leaf"})) << "2 skips sib's children only";

  m.result = 5;
  trace.clear();
  EXPECT_EQ(root.dispatch(ev, GUI_BROADCAST), 5);
  EXPECT_EQ(trace, (std::vector<std::string>{"root", "sib", "mid"}));
  trace.clear();
  EXPECT_EQ(leaf->dispatch(ev, GUI_BUBBLE), 5);
  EXPECT_EQ(trace, (std::vector<std::string>{"leaf", "mid"}));
}

TEST(GuiElement, SetHiddenBroadcastsOnlyOnChange) {
  Recorder r("root", GUI_EV_VISIBILITY), k("c", GUI_EV_VISIBILITY);
  GuiElement root;
  GuiElement* c = child(&root, "c");
  root.addHandler(&r, -1);
  c->addHandler(&k, -1);
  trace.clear();
  root.setHidden(true);
  EXPECT_TRUE(root.isHidden());
  EXPECT_TRUE(c->isHiddenInTree());
  EXPECT_FALSE(c->isHidden());
  root.setHidden(true);
  EXPECT_EQ(trace, (std::vector<std::string>{"root", "c"}));
  c->setHidden(false);
  EXPECT_EQ(trace.size(), 2u) << "unchanged: no broadcast";
}

TEST(GuiElement, BehavioursAreFoundInAnyCaseAndRegisteredOnce) {
  struct Tag final : GuiBehaviour {
    const char* n;
    explicit Tag(const char* s) : n(s) {}
    const char* name() override { return n; }
    void apply(GuiElement* el) override { el->id = 42; }
  };
  Tag t("tagIt"), u("other");
  int before = gui_behaviour_count();
  register_gui_behaviour(&t);
  register_gui_behaviour(&t);
  register_gui_behaviour(&u);
  EXPECT_EQ(gui_behaviour_count(), before + 2);
  GuiElement e;
  e.applyBehaviour("nothing");
  EXPECT_EQ(e.id, 0u);
  e.applyBehaviour("TAGIT");
  EXPECT_EQ(e.id, 42u);
  unregister_gui_behaviour(&t);
  EXPECT_EQ(find_gui_behaviour("tagit"), nullptr);
  EXPECT_EQ(find_gui_behaviour("other"), &u);
  unregister_gui_behaviour(&u);
  EXPECT_EQ(gui_behaviour_count(), before);
}

TEST(GuiElementDeathTest, OverlongTextsAndBadLengthsAreFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("TOLVANE_NO_MSGBOX", "1", 1);
  EXPECT_EXIT(GuiElement().setName(std::string(64, 'n').c_str()), ::testing::ExitedWithCode(100),
              "failed ASSERT\\(l<BS\\)");
  EXPECT_EXIT(GuiElement().setText(std::string(256, 't').c_str()), ::testing::ExitedWithCode(100),
              "failed ASSERT\\(l<BS\\)");
  EXPECT_EXIT(eval_gui_len(GuiLen{1, 7}, 8, 0, 0), ::testing::ExitedWithCode(100), "unknown GuiLen mode");
  GuiElement ok;
  ok.setName(std::string(63, 'n').c_str());
  EXPECT_EQ(std::string(ok.name).size(), 63u);
}
