#pragma once
// Where a script error happened, as its author wants to see it: the file
// relative to the program's folder, the line and the column
// ("gen/landforms.nut:10:30"). The VM's handlers and the native dispatchers
// note the place of each error together with its text; a script owner that
// catches the error looks the place up by the same text and shows both
// (script_error_message), on screen and in the log.
#include <squirrel.h>

#include <cstddef>

namespace sqbind {

// A script path as shown to its author: relative to the program's folder
// when it lies inside it, else unchanged. Returns out.
const char* display_script_path(const char* path, char* out, size_t size);

// Notes that the error with this text happened at source:line:column in vm
// (a column below 1 is left out).
void note_error_place(HSQUIRRELVM vm, const char* text, const char* source, SQInteger line, SQInteger column);
// Notes the innermost script function running in vm as the place of text;
// nothing when no script function is running.
void note_error_place_from_stack(HSQUIRRELVM vm, const char* text);
// "file:line:column" of the latest error with this text in vm; "" when none
// was noted.
const char* error_place(HSQUIRRELVM vm, const char* text);
// Counts every error noted so far; with first_error_since an owner finds an
// error that a script swallowed, such as a file that an include failed to
// load while the including file ran on.
unsigned noted_error_count();
// The text of the first error noted for vm after the count was `since`;
// null when none was.
const char* first_error_since(HSQUIRRELVM vm, unsigned since);
// Drops what was noted for vm (the VM is closing).
void forget_error_places(HSQUIRRELVM vm);

// The owner's on-screen and log text of an error: heading_format (one %s)
// filled with "file:line:column: text", or the bare text when no place is
// known. Returns out.
const char* script_error_message(char* out, size_t size, const char* heading_format, HSQUIRRELVM vm,
                                 const char* text);

}  // namespace sqbind
