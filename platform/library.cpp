// Shared library loading and non-blocking pipe polling.
#include <dlfcn.h>
#include <sys/ioctl.h>

#include "platform/platform.h"

void* load_library(const char* filename) { return filename ? dlopen(filename, RTLD_NOW | RTLD_LOCAL) : nullptr; }

void* get_library_proc(void* lib, const char* name) { return lib && name ? dlsym(lib, name) : nullptr; }

bool free_library(void* lib) { return lib && dlclose(lib) == 0; }

int pipe_bytes_available(FILE* stream) {
  if (!stream) return 0;
  // Bytes already read into the stream's buffer but not yet consumed
  // (glibc keeps the read window in the FILE record).
  size_t buffered = 0;
  if (stream->_IO_read_end > stream->_IO_read_ptr) buffered = size_t(stream->_IO_read_end - stream->_IO_read_ptr);
  if (buffered > 0) return int(buffered);
  int waiting = 0;
  // A failed query answers 1 so that the caller reads and meets the end.
  if (ioctl(fileno(stream), FIONREAD, &waiting) != 0) return 1;
  return waiting;
}
