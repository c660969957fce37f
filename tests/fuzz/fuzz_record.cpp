// Fuzz target of the input record parser: any bytes are either a record
// whose values are all in their ranges, or one error naming the line.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/input_log.h"

namespace {
bool finite(float v) { return std::isfinite(v); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputLog log;
  bool ok = log.parse(std::string(reinterpret_cast<const char*>(data), size), "fuzz.rec");
  if (!ok) {
    // The error names the file and a line.
    if (log.error.rfind("fuzz.rec:", 0) != 0) std::abort();
    return 0;
  }
  for (const StepInput& st : log.steps) {
    if (!finite(st.yaw) || !finite(st.pitch) || !finite(st.roll) || !finite(st.mouse_x) || !finite(st.mouse_y))
      std::abort();
    for (int vk : st.held)
      if (vk < 0 || vk > 255) std::abort();
    for (const InputEvent& ev : st.events)
      if (!finite(ev.x) || !finite(ev.y)) std::abort();
  }
  if (log.start.has_cam)
    for (float c : log.start.cam)
      if (!finite(c)) std::abort();
  return 0;
}
