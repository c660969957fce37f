#pragma once
// The report of a fatal signal (a null dereference, a bus error, a division
// by zero, an illegal instruction, an abort): written to standard error and
// to a crash file in the user's data folder, naming the signal, whether the
// game-object module was running (and which build of it), a backtrace, the
// seed and the step. The open input record is closed first, so that its
// replay runs up to the crash. The next start reads the crash file and says
// what happened.
//
// The handler runs on its own stack (a stack overflow leaves none) and uses
// only calls that are safe in a signal handler, apart from the backtrace's
// symbol lookup, which is worth the small risk in a process that is ending.
#include <cstdint>
#include <string>

constexpr const char* CRASH_FILE_NAME = "crash.txt";
// Where a crash file goes once the next start has reported it.
constexpr const char* CRASH_SEEN_FILE_NAME = "crash_last.txt";

// Installs the handlers of SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT. After
// the report the signal is raised again with its default action, so the
// process ends as it would have without the handler.
void install_crash_handler();

// What the report says about the moment of the crash; each is kept up to
// date by its owner and read only by the handler.
// The address range of the module's code and which build it is (0: the one
// loaded at start-up, 1 and up: rebuilds swapped in while running).
void crash_note_module(uintptr_t begin, uintptr_t end, int rebuild, const char* file);
void crash_note_step(int64_t step);
// The seed the run started from (-seed, or the replayed record's).
void crash_note_seed(uint64_t seed);
// The record being written (fd -1: none); closed by the handler.
void crash_note_record(int fd, const char* path);

// "$XDG_DATA_HOME/Mirevast Games/Tolvane/" (~/.local/share/... when unset),
// ending with '/'.
std::string crash_report_dir();

// What a crash file of an earlier run said.
struct LastCrash {
  std::string signal;    // "SIGSEGV"
  bool in_module = false;
  int module_rebuild = -1;  // -1: not the module
  std::string module_file;
  std::string report;  // the whole file
};
// Reads the crash file left by an earlier run and moves it aside, so that it
// is reported once. False when there is none.
bool take_last_crash(LastCrash& out);
// Reads a crash report's text (used by take_last_crash).
bool parse_crash_report(const std::string& text, LastCrash& out);
