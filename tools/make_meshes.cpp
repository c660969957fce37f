// Writes the game's meshes into <output folder>/meshes/ as mesh files.
// usage: make_meshes <output folder>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/meshgen/meshgen.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  std::string dir = std::string(argv[1]) + "/meshes";
  mkdir(dir.c_str(), 0755);
  for (const meshgen::GenMesh& m : meshgen::all_meshes()) {
    std::string path = dir + "/" + m.name + ".mesh";
    std::vector<uint8_t> file = mesh_format::encode(m.data);
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) {
      std::fprintf(stderr, "make_meshes: can't write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
