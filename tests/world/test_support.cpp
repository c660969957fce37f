#include "tests/world/test_support.h"

#include <cstdlib>

#include "world/world_step.h"

std::vector<SplashCall> splash_calls;

void record_progress(const char* message, float progress) { splash_calls.push_back({message, progress}); }

namespace {
// Progress the code under test reports is recorded, as the game would show it.
struct RecordProgress {
  RecordProgress() { HeightmapData::world_hooks.progress = record_progress; }
} record_progress_hook;

// Fatal paths under test must never wait on a message box.
struct NoMessageBoxes {
  NoMessageBoxes() { setenv("TOLVANE_NO_MSGBOX", "1", 1); }
} no_message_boxes;
}  // namespace
