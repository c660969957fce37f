#pragma once
// Logging to the standard streams, the fatal path and assertions.
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
