// The input queue, per-step key flags and character translation.
#include "platform/input.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/globals.h"
#include "platform/vk_codes.h"

namespace {
KeyboardState fake_state;
void read_fake(KeyboardState& out) { out = fake_state; }

struct InputTest : ::testing::Test {
  void SetUp() override {
    std::memset(&fake_state, 0, sizeof(fake_state));
    set_keyboard_state_reader(read_fake);
    d3d_wd = 800, d3d_ht = 600;
    init_input(nullptr);
    clear_input_step();
  }
  void TearDown() override {
    clear_input_step();
    set_keyboard_state_reader(nullptr);
  }
};
}  // namespace

TEST_F(InputTest, PressAndReleaseWithinOneStepAreBothSeen) {
  push_input_event(EV_KEY_DOWN, 'G', 0, 0, 0, 0);
  push_input_event(EV_KEY_UP, 'G', 0, 0, 0, 0);
  EXPECT_TRUE(keyDown('G'));
  EXPECT_TRUE(keyUp('G'));
  EXPECT_FALSE(keyDown('H'));
  EXPECT_EQ(getKey(), 'G');
  EXPECT_EQ(getChar(), 'g');
  clear_input_step();
  EXPECT_FALSE(keyDown('G'));
  EXPECT_FALSE(keyUp('G'));
  EXPECT_EQ(getKey(), 0);
  EXPECT_FALSE(getEvent(nullptr)) << "queued events are freed every step";
  EXPECT_FALSE(keyDown(-1));
  EXPECT_FALSE(keyDown(256));
}

TEST_F(InputTest, AutoRepeatQueuesEventsButIsNotAPress) {
  push_input_event(EV_KEY_DOWN, VK_F5, 0, 0, 0, 0);
  clear_input_step();
  push_input_event(EV_KEY_DOWN, VK_F5, 0, IF_REPEAT, 0, 0);
  push_input_event(EV_KEY_DOWN, VK_F5, 0, IF_REPEAT, 0, 0);
  EXPECT_FALSE(keyDown(VK_F5)) << "holding F5 toggles only once";
  InputEvent e;
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.type, EV_KEY_DOWN);
  EXPECT_TRUE(e.flags & IF_REPEAT);
  ASSERT_TRUE(getEvent(&e));
  EXPECT_FALSE(getEvent(&e));
}

TEST_F(InputTest, DoubleClickIsAPressWithTheFlag) {
  fake_state.held[VK_LBUTTON] = true;
  fake_state.held[VK_CONTROL] = true;
  fake_state.toggled[VK_NUMLOCK] = true;
  push_input_event(EV_BUTTON_DOWN, VK_LBUTTON, 0, IF_REPEAT, 100, 50);
  EXPECT_TRUE(keyDown(VK_LBUTTON));
  EXPECT_TRUE(is_mouse_captured());
  InputEvent e;
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.key, VK_LBUTTON);
  EXPECT_EQ(e.flags, IF_REPEAT | IF_LBUTTON | IF_CTRL | IF_NUMLOCK);
  EXPECT_FLOAT_EQ(e.x, 100);
  push_input_event(EV_BUTTON_UP, VK_LBUTTON, 0, 0, 300, 300);
  EXPECT_TRUE(keyUp(VK_LBUTTON));
  EXPECT_FALSE(is_mouse_captured());
}

TEST_F(InputTest, MousePositionsAreClampedAndKeyEventsTakeTheStoredOne) {
  push_input_event(EV_MOUSE_MOVE, 0, 0, 0, 5000, -20);
  float x, y;
  getMousePos(&x, &y);
  EXPECT_FLOAT_EQ(x, 799);
  EXPECT_FLOAT_EQ(y, 0);
  push_input_event(EV_KEY_DOWN, 'A', 0, 0, 1, 1);
  InputEvent e;
  getEvent(&e);
  getEvent(&e);
  EXPECT_FLOAT_EQ(e.x, 799) << "key events carry the stored mouse position";
  push_input_event(EV_BUTTON_UP, VK_RBUTTON, 0, 0, 10, 10);
  getEvent(&e);
  EXPECT_FLOAT_EQ(e.x, 799) << "button up reports where the cursor was put back";
  push_input_event(EV_WHEEL, 0, 2, 0, 1, 1);
  push_input_event(EV_WHEEL, 0, -3, 0, 1, 1);
  EXPECT_EQ(getMouseWheel(), -1);
  clear_input_step();
  EXPECT_EQ(getMouseWheel(), 0);
}

TEST_F(InputTest, CharactersFollowShiftAndCaps) {
  EXPECT_EQ(vk_to_ascii('A', false, false), 'a');
  EXPECT_EQ(vk_to_ascii('A', true, false), 'A');
  EXPECT_EQ(vk_to_ascii('A', false, true), 'A');
  EXPECT_EQ(vk_to_ascii('A', true, true), 'a');
  EXPECT_EQ(vk_to_ascii('1', true, false), '!');
  EXPECT_EQ(vk_to_ascii(VK_OEM_2, true, false), '?');
  EXPECT_EQ(vk_to_ascii(VK_F1, false, false), 0);
  fake_state.held[VK_SHIFT] = true;
  push_input_event(EV_KEY_DOWN, '9', 0, 0, 0, 0);
  EXPECT_EQ(getChar(), '(');
  EXPECT_TRUE(getKeyState(VK_SHIFT));
  EXPECT_FALSE(getKeyState(300));
}

// At a few frames a second Ctrl+G arrives in one drain of the window
// messages: by the time the events are queued and the step runs, Ctrl is
// already up. The chord must still be a Ctrl+G.
TEST_F(InputTest, ChordsKeepTheModifiersHeldWhenTheKeyWentDown) {
  push_key_event(EV_KEY_DOWN, VK_CONTROL, 0, 0, IF_CTRL);
  push_key_event(EV_KEY_DOWN, 'G', 0, 0, IF_CTRL);
  push_key_event(EV_KEY_UP, 'G', 0, 0, IF_CTRL);
  push_key_event(EV_KEY_UP, VK_CONTROL, 0, 0, 0);
  push_key_event(EV_KEY_DOWN, VK_F5, 0, 0, IF_SHIFT);
  EXPECT_FALSE(getKeyState(VK_CONTROL)) << "released before the step";
  EXPECT_TRUE(keyDownModifiers('G') & IF_CTRL);
  EXPECT_EQ(keyDownModifiers(VK_F5), IF_SHIFT);
  InputEvent e;
  ASSERT_TRUE(getEvent(&e));
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.key, 'G');
  EXPECT_EQ(e.flags & (IF_SHIFT | IF_CTRL | IF_ALT), IF_CTRL) << "the event carries them too";
  EXPECT_EQ(e.ch, 'g');

  // The reverse: a plain key while the live state (late) says Shift is down.
  clear_input_step();
  EXPECT_EQ(keyDownModifiers('G'), 0) << "cleared with the step";
  fake_state.held[VK_SHIFT] = true;
  push_key_event(EV_KEY_DOWN, VK_F5, 0, 0, 0);
  push_key_event(EV_KEY_DOWN, '9', 0, 0, 0);
  EXPECT_EQ(keyDownModifiers(VK_F5), 0);
  EXPECT_EQ(getChar(), '9');
  // A repeat is no press and keeps the press's modifiers.
  clear_input_step();
  push_key_event(EV_KEY_DOWN, 'H', 0, 0, IF_CTRL | IF_ALT);
  push_key_event(EV_KEY_DOWN, 'H', 0, IF_REPEAT, 0);
  EXPECT_EQ(keyDownModifiers('H'), IF_CTRL | IF_ALT);
  EXPECT_EQ(keyDownModifiers('J'), 0);
  EXPECT_EQ(keyDownModifiers(-1), 0);
}

TEST(KeyNames, TableMatchesTheKeys) {
  EXPECT_STREQ(getKeyName(0x01), "Left Mouse Button");
  EXPECT_STREQ(getKeyName(0x14), "Caps Lock");
  EXPECT_STREQ(getKeyName(0x28), "Down Arrow");
  EXPECT_STREQ(getKeyName('7'), "7");
  EXPECT_STREQ(getKeyName('Q'), "Q");
  EXPECT_STREQ(getKeyName(0x69), "NumPad 9");
  EXPECT_STREQ(getKeyName(0x7B), "F12");
  EXPECT_STREQ(getKeyName(0x79), "F10");
  EXPECT_STREQ(getKeyName(0xC0), "Grave");
  EXPECT_STREQ(getKeyName(0xDE), "Apostrophe");
  EXPECT_STREQ(getKeyName(0x6C), "?");
  EXPECT_STREQ(getKeyName(256), "?");
  EXPECT_STREQ(getKeyName(-4), "?");
}

TEST(KeyMap, ScancodesLandOnVirtualKeys) {
  EXPECT_EQ(sdl_scancode_to_vk(4 /* A */), 'A');
  EXPECT_EQ(sdl_scancode_to_vk(39 /* 0 */), '0');
  EXPECT_EQ(sdl_scancode_to_vk(58 /* F1 */), VK_F1);
  EXPECT_EQ(sdl_mouse_button_to_vk(1), VK_LBUTTON);
  EXPECT_EQ(sdl_mouse_button_to_vk(2), VK_MBUTTON) << "SDL numbers the middle button 2";
  EXPECT_EQ(sdl_mouse_button_to_vk(3), VK_RBUTTON);
  EXPECT_EQ(sdl_mouse_button_to_vk(4), 0) << "extra buttons have no key";
  EXPECT_EQ(sdl_scancode_to_vk(225 /* left shift */), VK_SHIFT);
  EXPECT_EQ(sdl_scancode_to_vk(70 /* print screen */), VK_SNAPSHOT);
}
