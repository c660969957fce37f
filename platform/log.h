#pragma once
// Logging to the standard streams, the fatal path and assertions.
//
// How the program fails:
//  - Fatal: a broken invariant (G_ASSERT) or a set-up the program cannot run
//    without (the device, a shader no cache or compiler provides, a resource
//    that cannot be made). fatal() logs the message to standard error, shows
//    the box, runs the orderly shutdown and exits with code 100. Nothing else
//    ends the program.
//  - Script errors: anything a script or its data can cause (a syntax error,
//    a runtime error, a native given bad arguments, a call stopped by the time
//    limit, a missing include). They travel as sqbind::SquirrelError, which
//    owns its text and its place (file, line, column) and says whether the
//    time limit stopped the call; every script service reports them the same
//    way: the owner of the script catches the error, shows "<heading>
//    file:line:column: text" in the on-screen error band and keeps running.
//    Callers never tell errors apart by their text.
//  - Other user-caused errors (a shader that fails to reload, a module that
//    fails to rebuild, a broken settings line, a bad option or replay) are
//    reported where they happen and the program goes on with what it had.
//  - Logging: each error is logged once, in words, by whoever reports it (a
//    script's runtime error by the VM's handler with its call stack; the rest
//    by the owner). The on-screen band only shows what was logged. The locals
//    of a failed script are logged only when asked for (TOLVANE_SCRIPT_LOCALS).
#include <cstdarg>

// Formats to standard output, then writes "\n" and flushes.
void debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Formats to standard output without a line end and without flushing.
void debug_(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void vdebug(const char* fmt, va_list args);

// Ends the process: message to stderr, message box, orderly shutdown, exit 100.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Logs "ERROR: %s" and shows the modal error box (skipped when headless).
void error_message(const char* text);

// The program's title, used for the error box caption "%s - FATAL ERROR".
void set_program_title(const char* title);
const char* get_program_title();

// The orderly shutdown that fatal() runs before exiting; each program installs
// its own. It runs at most once even if it fails fatally itself.
using ShutdownHook = void (*)();
void set_fatal_shutdown_hook(ShutdownHook hook);

// The source's name without its folder: the message is for the player's
// report, and the shipped programs carry no paths of the machine that built
// them.
#ifdef __FILE_NAME__
#define G_ASSERT_SOURCE __FILE_NAME__
#else
#define G_ASSERT_SOURCE __FILE__
#endif

#define G_ASSERT(cond)                                                                   \
  do {                                                                                   \
    if (!(cond)) fatal("%s(%d): failed ASSERT(%s)", G_ASSERT_SOURCE, __LINE__, #cond); \
  } while (0)
