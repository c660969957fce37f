#pragma once
// Puts the scene's shaders, sky script and generated textures into the test
// suite's application folder.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/device/gl_env.h"

namespace scene_data {
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void install(const char* data_dir, const char* bin_dir) {
  for (const char* f : {"land_common.sh", "land_vertex.sh", "land.sh", "dr_land.sh", "water.sh", "dr_water.sh", "horizon.sh",
                        "load_float.sh", "load_color.sh", "field_common.sh", "calc_norm.sh", "calc_norm_low.sh",
                        "calc_aper.sh", "interp_tex.sh", "sky.sh", "sky.nut", "fullscreen.sh", "postfx_none.sh",
                        "postfx_art1.sh", "postfx_main.sh", "mlaa_common.sh", "mlaa_edge.sh", "mlaa_rows.sh",
                        "mlaa_cols.sh", "mlaa_combine.sh", "dr_gbuffer.sh", "debug_vis.sh", "dr_calc_light.sh",
                        "dr_final.sh", "dr_shadow.sh"})
    write_app_file(f, read_file(std::string(data_dir) + "/" + f));
  for (const char* f : {"detail.dds", "foam.dds"}) {
    std::string s = read_file(std::string(bin_dir) + "/" + f);
    write_app_file(f, std::vector<uint8_t>(s.begin(), s.end()));
  }
}

}  // namespace scene_data
