#pragma once
// Where script errors happened and which ones a VM has had. Each VM keeps its
// own log (no store shared between VMs): the latest error its handlers or a
// failing native reported, with its place as its author wants to see it (the
// file relative to the program's folder, the line and the column:
// "gen/landforms.nut:10:30"), and the first error since the owner last set a
// mark, so an owner finds an error that a script swallowed, such as a file
// that an include failed to load while the including file ran on.
#include <squirrel.h>

#include <cstddef>

#include "script/sqbind.h"

namespace sqbind {

// A script path as shown to its author: relative to the program's folder
// when it lies inside it, else unchanged. Returns out.
const char* display_script_path(const char* path, char* out, size_t size);

// The log lives from open_vm to close_vm.
void open_error_log(HSQUIRRELVM vm);
void close_error_log(HSQUIRRELVM vm);

// Records an error of vm.
void note_error(HSQUIRRELVM vm, const SquirrelError& e);
// Gives e the place of the innermost script function running in vm when it
// has none yet, then records it.
void note_error_from_stack(HSQUIRRELVM vm, SquirrelError& e);
// The latest error recorded for vm, or null.
const SquirrelError* latest_error(HSQUIRRELVM vm);
// Starts looking for the first error from now on.
void mark_errors(HSQUIRRELVM vm);
// The first error recorded since the mark, or null.
const SquirrelError* first_error_since_mark(HSQUIRRELVM vm);

// The owner's on-screen and log text of an error: heading_format (one %s)
// filled with the error's description. Returns out.
const char* script_error_message(char* out, size_t size, const char* heading_format, const SquirrelError& e);
// Logs an error an owner reports ("Error in fx script"): in full, or only
// where it was when the VM's handler has already logged its text.
void log_script_error(const char* owner, const SquirrelError& e);

}  // namespace sqbind
