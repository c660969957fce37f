// GPU utilisation from NVML or the amdgpu sysfs file; silent when neither exists.
#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace {
struct NvmlUtilization {
  unsigned gpu, memory;
};
using NvmlInit = int (*)();
using NvmlShutdown = int (*)();
using NvmlGetHandle = int (*)(unsigned, void**);
using NvmlGetUtil = int (*)(void*, NvmlUtilization*);

void* nvml_lib = nullptr;
NvmlGetUtil nvml_get_util = nullptr;
void* nvml_device = nullptr;
std::string amd_busy_file;

bool start_nvml() {
  void* lib = load_library("libnvidia-ml.so.1");
  if (!lib) return false;
  auto init = reinterpret_cast<NvmlInit>(get_library_proc(lib, "nvmlInit_v2"));
  auto handle = reinterpret_cast<NvmlGetHandle>(get_library_proc(lib, "nvmlDeviceGetHandleByIndex_v2"));
  auto util = reinterpret_cast<NvmlGetUtil>(get_library_proc(lib, "nvmlDeviceGetUtilizationRates"));
  if (!init || !handle || !util) {
    free_library(lib);
    return false;
  }
  if (init() != 0) {
    debug("nvmlInit failed!");
    free_library(lib);
    return false;
  }
  void* dev = nullptr;
  if (handle(0, &dev) != 0) {
    auto shutdown = reinterpret_cast<NvmlShutdown>(get_library_proc(lib, "nvmlShutdown"));
    if (shutdown) shutdown();
    free_library(lib);
    return false;
  }
  nvml_lib = lib, nvml_get_util = util, nvml_device = dev;
  return true;
}

bool find_amdgpu_busy_file() {
  DIR* d = opendir("/sys/class/drm");
  if (!d) return false;
  while (dirent* e = readdir(d)) {
    if (std::strncmp(e->d_name, "card", 4) != 0 || std::strchr(e->d_name, '-')) continue;
    std::string f = std::string("/sys/class/drm/") + e->d_name + "/device/gpu_busy_percent";
    if (FILE* fp = std::fopen(f.c_str(), "r")) {
      std::fclose(fp);
      amd_busy_file = f;
      break;
    }
  }
  closedir(d);
  return !amd_busy_file.empty();
}
}  // namespace

bool start_gpu_probe() {
  if (nvml_lib || !amd_busy_file.empty()) return true;
  return start_nvml() || find_amdgpu_busy_file();
}

bool query_gpu_activity(int& percent) {
  if (nvml_lib) {
    NvmlUtilization u{};
    if (nvml_get_util(nvml_device, &u) != 0) return false;
    percent = int(u.gpu);
    return true;
  }
  if (amd_busy_file.empty()) return false;
  FILE* fp = std::fopen(amd_busy_file.c_str(), "r");
  if (!fp) return false;
  int v = -1;
  bool ok = std::fscanf(fp, "%d", &v) == 1;
  std::fclose(fp);
  if (!ok) return false;
  percent = v;
  return true;
}

void stop_gpu_probe() {
  if (nvml_lib) {
    auto shutdown = reinterpret_cast<NvmlShutdown>(get_library_proc(nvml_lib, "nvmlShutdown"));
    if (shutdown) shutdown();
    free_library(nvml_lib);
  }
  nvml_lib = nullptr, nvml_get_util = nullptr, nvml_device = nullptr;
  amd_busy_file.clear();
}
