// Telling the player about the last run's crash and starting with the last
// module that worked when a rebuilt one crashed.
#include "app/crash_recovery.h"

#include "objects/module_host.h"
#include "platform/crash_report.h"
#include "platform/log.h"

std::string recover_from_last_crash() {
  LastCrash crash;
  if (!take_last_crash(crash)) return "";
  std::string text = "The last run crashed (" + crash.signal + ")";
  if (!crash.in_module) {
    text += " outside the game-object module.";
  } else if (crash.module_rebuild <= 0) {
    text += " in the game-object module " + crash.module_file + " it started with.";
  } else {
    text += " in the game-object module " + crash.module_file + " rebuilt while it ran (rebuild " +
            std::to_string(crash.module_rebuild) + ")";
    if (fall_back_to_previous_gameobj())
      text += std::string(": starting with the last good module; the crashed one is kept as ") +
              GAMEOBJ_CRASHED_MODULE_FILE + ".";
    else
      text += std::string(": no ") + GAMEOBJ_PREV_MODULE_FILE + " to fall back on.";
  }
  text += " Report: " + crash_report_dir() + CRASH_SEEN_FILE_NAME;
  debug("%s", text.c_str());
  return text;
}
