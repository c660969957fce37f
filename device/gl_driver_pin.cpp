// Marks the loaded GL driver libraries as never to be unloaded (sanitizer
// builds only).
#include "device/gl_driver_pin.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TOLVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVANE_ASAN 1
#endif
#endif

#ifdef TOLVANE_ASAN
namespace {
// The libraries the GL stack loads on demand and drops with the context.
bool is_driver_library(const char* name) {
  for (const char* part : {"_dri.so", "libgallium", "libGLX_mesa", "libEGL_mesa", "libLLVM", "libglapi"})
    if (std::strstr(name, part)) return true;
  return false;
}

int collect_driver_library(dl_phdr_info* info, size_t, void* out) {
  if (info->dlpi_name && is_driver_library(info->dlpi_name))
    static_cast<std::vector<std::string>*>(out)->push_back(info->dlpi_name);
  return 0;
}
}  // namespace

void keep_gl_driver_mapped() {
  // Collected first: the loader may not be entered again from inside its
  // own iteration.
  std::vector<std::string> names;
  dl_iterate_phdr(collect_driver_library, &names);
  for (const std::string& name : names) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
#else
void keep_gl_driver_mapped() {}
#endif
