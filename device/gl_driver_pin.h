#pragma once
// Sanitizer builds only: keeps the GL driver's libraries mapped until the
// process ends.
//
// LeakSanitizer looks for leaks at exit, after the driver has been unloaded
// with the context; the driver's own never-freed allocations then have
// stacks in no known library, and no suppression can name them. Mapped to
// the end, they are attributed to the driver and tests/lsan.supp names it.
// In other builds this does nothing.
void keep_gl_driver_mapped();
