#pragma once
// The start after a crash: what the crash file of the last run said, and,
// when the crash was in a module rebuilt while that run played, the way back
// to the module that ran before it.
#include <string>

// Reads and consumes the crash file (before the module is loaded). When the
// crash was in a freshly rebuilt module and gameobj_prev.so is there, that
// one becomes gameobj.so again (the crashed one is kept as
// gameobj_crashed.so). Returns the text for the screen, empty when the last
// run did not crash.
std::string recover_from_last_crash();
