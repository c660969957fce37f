// The camera's interpolation, limits and both steering modes.
#include "app/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <SDL.h>

#include "app/threat_marks.h"
#include "app/window.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/vk_codes.h"

// The device layer calls the frame function; these tests draw nothing.

namespace {
KeyboardState keys;
void read_keys(KeyboardState& out) { out = keys; }

struct CameraTest : ::testing::Test {
  void SetUp() override {
    std::memset(&keys, 0, sizeof(keys));
    set_keyboard_state_reader(read_keys);
    init_input(nullptr);
    hold_pointer(false);
    clear_input_step();
    camera = CameraState();
    app_active = true;
    hide_cursor = false;
    d3d_wd = 800, d3d_ht = 600;
  }
  void TearDown() override { set_keyboard_state_reader(nullptr); }

  void press(int vk) {
    keys.held[vk] = true;
    push_input_event(EV_KEY_DOWN, vk, 0, 0, 0, 0);
  }
  void release(int vk) {
    keys.held[vk] = false;
    push_input_event(EV_KEY_UP, vk, 0, 0, 0, 0);
  }
  // One simulation step of the given camera, with the step's input cleared after.
  void step(bool free_fly, float dt = 0.05f) {
    camera_save_previous();
    if (free_fly)
      free_fly_step(dt);
    else
      game_camera_step(dt);
    clear_input_step();
  }
};

struct RecordingPlayer : CameraPlayer {
  vec4f pos{10, 5, 10, 1};
  float last_speed = 0;
  int last_dash = 0;
  vec4f placed{0, 0, 0, 0};
  void move(float, float speed, const vec4f& v, const Matrix44&, int dash) override {
    last_speed = speed;
    last_dash = dash;
    pos = vec4f(pos.x + v.x, pos.y + v.y, pos.z + v.z, 1);
  }
  vec4f eye() override { return vec4f(pos.x, pos.y + 2, pos.z, 1); }
  void placeAt(const vec4f& p) override { placed = p; }
};
}  // namespace

TEST_F(CameraTest, CrossingTheSeamInterpolatesTheShortWay) {
  camera.prev_pos = vec4f(255.5f, 10, 3, 1);
  camera.pos = vec4f(0.5f, 12, 254, 1);  // one unit across x = 256
  Matrix44 m = camera_matrix(0.5f);
  EXPECT_NEAR(m.row[3].x, 256.0f, 1e-4);
  EXPECT_NEAR(m.row[3].z, 0.5f, 1e-4) << "3 to 254 is five units down across z = 0";
  EXPECT_NEAR(m.row[3].y, 11.0f, 1e-4);
  EXPECT_FLOAT_EQ(m.row[3].w, 1.0f);
  Matrix44 end = camera_matrix(1);
  EXPECT_NEAR(end.row[3].x, 256.5f, 1e-4) << "arrives at the same place modulo 256";
}

TEST_F(CameraTest, MatrixIsOrthonormalAndInvertible) {
  camera_set_angles(0.7f, -0.4f);
  camera.roll = camera.prev_roll = 0.3f;
  camera.pos = camera.prev_pos = vec4f(5, 6, 7, 1);
  Matrix44 m = camera_matrix(1);
  auto dot = [&](int a, int b) {
    return m.row[a].x * m.row[b].x + m.row[a].y * m.row[b].y + m.row[a].z * m.row[b].z;
  };
  for (int a = 0; a < 3; a++)
    for (int b = 0; b < 3; b++) EXPECT_NEAR(dot(a, b), a == b ? 1.0f : 0.0f, 1e-5);
  Matrix44 id = m * inverse44(m);
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(id.at(r, c), r == c ? 1.0f : 0.0f, 1e-5);
}

TEST_F(CameraTest, MouseLookClampsPitchWrapsYawAndHidesTheCursor) {
  add_mouse_motion(-400, 299);  // left and down
  game_camera_mouse_look(0);
  EXPECT_FLOAT_EQ(camera.yaw, 0) << "the first frame only takes the pointer";
  EXPECT_TRUE(camera.mouse_centred);
  EXPECT_TRUE(hide_cursor);
  for (int i = 0; i < 20; i++) {
    add_mouse_motion(-400, 299);
    game_camera_mouse_look(0);
    EXPECT_GT(camera.yaw, -6.2831855f);
    EXPECT_LT(camera.yaw, 6.2831855f);
  }
  EXPECT_FLOAT_EQ(camera.pitch, -1.5707964f) << "pitch stops at straight down";
  // The free-fly look reads the cursor against the centre. A held button
  // captures the mouse, so it counts as over the window.
  push_input_event(EV_BUTTON_DOWN, VK_LBUTTON, 0, 0, 0, 0);
  update_mouse_over();
  push_input_event(EV_MOUSE_MOVE, 0, 0, 0, 0, 599);  // left of and below the centre
  camera.pitch = 0;
  camera.mouse_centred = true;
  camera.zoom = camera.prev_zoom = 4;
  free_fly_mouse_look(1);
  EXPECT_FALSE(pointer_held()) << "developer mode lets the pointer go";
  EXPECT_NEAR(camera.pitch, -0.002f / 4 * 299, 1e-6) << "free-fly sensitivity is divided by the zoom";
  camera_set_angles(7.0f, 3.0f);
  EXPECT_NEAR(camera.yaw, 7.0f - 6.2831853f, 1e-5);
  EXPECT_FLOAT_EQ(camera.pitch, 1.5707964f);
}

TEST_F(CameraTest, InactiveWindowNeitherMovesNorHidesTheCursor) {
  RecordingPlayer player;
  set_camera_player(&player);
  app_active = false;
  hide_cursor = true;
  keys.held['W'] = true;
  step(false);
  EXPECT_FLOAT_EQ(player.last_speed, 0) << "the player was not asked to move";
  EXPECT_FALSE(hide_cursor);
  game_camera_mouse_look(0.5f);
  EXPECT_FALSE(hide_cursor);
  camera.zoom = 5;
  keys.held[VK_MBUTTON] = true;
  for (int i = 0; i < 10; i++) step(true);
  EXPECT_FLOAT_EQ(camera.zoom, 1) << "free-fly zoom returns to 1";
  set_camera_player(nullptr);
}

TEST_F(CameraTest, DoubleTapDashLastsUntilTheNextTap) {
  RecordingPlayer player;
  set_camera_player(&player);
  press('W');
  step(false);
  float normal = player.last_speed;
  EXPECT_NEAR(normal, 8 * 0.05f, 1e-6);
  release('W');
  step(false);
  press('W');  // second tap 0.1 s after the first
  step(false);
  EXPECT_EQ(camera.dash, 1);
  EXPECT_NEAR(player.last_speed, 2 * normal, 1e-6);
  release('W');
  for (int i = 0; i < 20; i++) step(false);
  EXPECT_EQ(camera.dash, 1) << "the dash goes on with the key released";
  EXPECT_NEAR(player.last_speed, 2 * normal, 1e-6);
  EXPECT_EQ(player.last_dash, 1);
  press(VK_DOWN);
  step(false);
  EXPECT_EQ(camera.dash, 0) << "a single tap cancels it";
  EXPECT_NEAR(camera.pos.y, player.pos.y + 2, 1e-5) << "the camera sits at the player's eye";
  set_camera_player(nullptr);
}

TEST_F(CameraTest, MiddleButtonZoomsToEightInAFewStepsAndNarrowsTheView) {
  keys.held[VK_MBUTTON] = true;
  int steps = 0;
  while (camera.zoom < 8 && steps < 100) {
    step(true);
    steps++;
  }
  EXPECT_EQ(steps, 7) << "0.35 s at 20 per second";
  EXPECT_NEAR(camera_fov(1) * 57.29578f, 9.25f, 1e-3);
  EXPECT_NEAR(camera_fov(0) * 57.29578f, 74.0f / camera.prev_zoom, 1e-3);
}

TEST_F(CameraTest, FreeFlyMovesAlongTheCameraAxesWithShift) {
  camera_set_angles(0, 0);  // forward is +z
  keys.held['W'] = true;
  step(true);
  EXPECT_NEAR(camera.pos.z, 5.55f * 0.05f, 1e-5);
  keys.held[VK_SHIFT] = true;
  step(true);
  EXPECT_NEAR(camera.pos.z, 5.55f * 0.05f * 7, 1e-4);
  keys.held['W'] = keys.held[VK_SHIFT] = false;
  keys.held['Q'] = true;  // world up
  step(true);
  EXPECT_NEAR(camera.pos.y, 5.55f * 0.05f, 1e-5);
}

TEST_F(CameraTest, ResetFlyControlPlacesThePlayerAtTheCamera) {
  RecordingPlayer player;
  set_camera_player(&player);
  camera.zoom = 4;
  camera.dash = 1;
  camera.pos = vec4f(3, 4, 5, 1);
  reset_fly_control();
  EXPECT_FLOAT_EQ(camera.zoom, 1);
  EXPECT_EQ(camera.dash, 0);
  EXPECT_FLOAT_EQ(player.placed.z, 5);
  set_camera_player(nullptr);
}

namespace {
bool ctrl_claims() { return keys.held[VK_CONTROL]; }

void push_sdl(const SDL_Event& e) { ASSERT_EQ(SDL_PushEvent(const_cast<SDL_Event*>(&e)), 1) << SDL_GetError(); }

void push_motion(int xrel, int yrel) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = 5, e.motion.y = 5;  // a held pointer's position says nothing
  e.motion.xrel = xrel, e.motion.yrel = yrel;
  push_sdl(e);
}

void push_button(Uint32 type) {
  SDL_Event e{};
  e.type = type;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.clicks = 1;
  e.button.x = 5, e.button.y = 5;
  push_sdl(e);
}
}  // namespace

// Through the window's event queue: the game camera holds the pointer and
// turns by the reported motion however large, a click while it is held
// arrives, Ctrl (the spell panel) and a lost focus let the pointer go.
TEST_F(CameraTest, HeldPointerTurnsByAnyMotionAndLetsGoForThePanelAndFocus) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  set_spell_ui_mouse_claim(ctrl_claims);
  game_camera_mouse_look(0);
  EXPECT_TRUE(pointer_held());
  EXPECT_TRUE(hide_cursor);

  // Moves far larger than half the window, in one event and in several.
  push_motion(400, 0);
  push_motion(300, -100);
  push_motion(300, 0);
  push_button(SDL_MOUSEBUTTONDOWN);
  push_button(SDL_MOUSEBUTTONUP);
  drain_message_queue();
  EXPECT_TRUE(keyDown(VK_LBUTTON)) << "the click arrived";
  EXPECT_TRUE(keyUp(VK_LBUTTON));
  game_camera_mouse_look(0);
  EXPECT_NEAR(camera.yaw, -0.002f * 1000, 1e-4);
  EXPECT_NEAR(camera.pitch, 0.002f * 100, 1e-5);
  clear_input_step();

  // Ctrl shows the panel: the pointer is let go and motion turns nothing.
  keys.held[VK_CONTROL] = true;
  game_camera_mouse_look(0);
  EXPECT_FALSE(pointer_held());
  EXPECT_FALSE(hide_cursor);
  push_motion(250, 250);
  drain_message_queue();
  game_camera_mouse_look(0);
  EXPECT_NEAR(camera.yaw, -2.0f, 1e-4);

  // Back from the panel: held again, and what moved meanwhile is not a turn.
  keys.held[VK_CONTROL] = false;
  game_camera_mouse_look(0);
  EXPECT_TRUE(pointer_held());
  push_motion(-100, 0);
  drain_message_queue();
  game_camera_mouse_look(0);
  EXPECT_NEAR(camera.yaw, -1.8f, 1e-4);

  // The focus goes elsewhere: let go at once, and no look until it returns.
  SDL_Event lost{};
  lost.type = SDL_WINDOWEVENT;
  lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  push_sdl(lost);
  drain_message_queue();
  EXPECT_FALSE(app_active);
  EXPECT_FALSE(pointer_held());
  push_motion(500, 0);
  drain_message_queue();
  game_camera_mouse_look(0);
  EXPECT_NEAR(camera.yaw, -1.8f, 1e-4);
  EXPECT_FALSE(pointer_held());

  set_spell_ui_mouse_claim(nullptr);
  clear_input_step();
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

// The bearing an edge arrow points along, from the frame's own matrix: a
// point in view is on screen; one off to a side, above or below, or behind
// the eye points the way the player has to turn to see it.
TEST_F(CameraTest, ThreatBearingPointsTheWayToTurn) {
  camera.pos = camera.prev_pos = vec4f(100, 20, 100, 1);
  camera.yaw = 0, camera.pitch = -0.5f;  // looking down toward +z, as a player over the castle
  set_camera_frame(1);
  auto bearing = [](float x, float y, float z) { return screen_bearing(vec4f(100 + x, 20 + y, 100 + z, 1), cur_glob_tm); };
  EXPECT_TRUE(bearing(0, -5, 10).onScreen);
  ScreenBearing right = bearing(40, -5, 10), left = bearing(-40, -5, 10);
  EXPECT_FALSE(right.onScreen);
  EXPECT_GT(right.x, 0);
  EXPECT_LT(left.x, 0);
  ScreenBearing above = bearing(0, 40, 5), below = bearing(0, -60, 1);
  EXPECT_GT(above.y, std::fabs(above.x));
  EXPECT_LT(below.y, -std::fabs(below.x));
  // Behind the eye: behind and to the right turns right, behind and to the
  // left turns left.
  ScreenBearing behind_right = bearing(20, 0, -30), behind_left = bearing(-20, 0, -30);
  EXPECT_FALSE(behind_right.onScreen);
  EXPECT_GT(behind_right.x, 0);
  EXPECT_LT(behind_left.x, 0);
}
