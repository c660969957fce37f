#include "tests/world/test_support.h"

#include <cstdlib>

#include "device/splash.h"

std::vector<SplashCall> splash_calls;

// The splash belongs to the font code; the tests record what would be shown.
void show_splash(const char* message, float progress) { splash_calls.push_back({message, progress}); }

namespace {
// Fatal paths under test must never wait on a message box.
struct NoMessageBoxes {
  NoMessageBoxes() { setenv("TOLVANE_NO_MSGBOX", "1", 1); }
} no_message_boxes;
}  // namespace
