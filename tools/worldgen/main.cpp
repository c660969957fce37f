// worldgen: runs the world-generation script without a window, in the same
// VM set-up as the game, prints the script's output, the generation log
// and a hash of the world, and writes picture files of the result.
//
//   worldgen [-seed N] [-script FILE] [-out DIR]
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "script/worldgen_script.h"
#include "tools/worldgen/previews.h"

namespace {
void usage(FILE* f) {
  std::fputs(
      "usage: worldgen [-seed N] [-script FILE] [-out DIR]\n"
      "  -seed N       world seed (decimal, unsigned 64-bit); default: the counter\n"
      "  -script FILE  world script to run instead of gen/main.nut\n"
      "  -out DIR      folder (made when missing) for height.png, color.png,\n"
      "                water.png, height16.png, height16.json and preview.png\n"
      "                (default: the current directory)\n",
      f);
}

bool parse_u64(const char* s, uint64_t& out) {
  if (!s || !*s || *s == '-') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 10);
  if (errno || *end) return false;
  out = v;
  return true;
}

// A script named on the command line is relative to the current directory.
std::string absolute(const char* path) {
  if (path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof(cwd))) return path;
  return std::string(cwd) + "/" + path;
}
// Creates a folder and any missing folders above it; false (with a
// message) when one cannot be made.
bool make_folders(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); i++) {
    if (i < dir.size() && dir[i] != '/') continue;
    std::string part = dir.substr(0, i);
    struct stat st;
    if (stat(part.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      std::fprintf(stderr, "worldgen: '%s' is not a folder\n", part.c_str());
      return false;
    }
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "worldgen: can't create folder '%s': %s\n", part.c_str(), std::strerror(errno));
      return false;
    }
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  set_program_title("worldgen");
  bool has_seed = false;
  uint64_t seed = 0;
  std::string script = WORLD_GEN_SCRIPT, out = ".";
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    bool more = i + 1 < argc;
    if (!std::strcmp(a, "-seed") && more) {
      if (!parse_u64(argv[++i], seed)) {
        std::fprintf(stderr, "worldgen: bad seed '%s'\n", argv[i]);
        return 2;
      }
      has_seed = true;
    } else if (!std::strcmp(a, "-script") && more) {
      script = absolute(argv[++i]);
    } else if (!std::strcmp(a, "-out") && more) {
      out = argv[++i];
    } else if (!std::strcmp(a, "-help") || !std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "worldgen: unknown option '%s'\n", a);
      usage(stderr);
      return 2;
    }
  }

  if (!get_exe_path(app_path, sizeof(app_path))) app_path[0] = 0;
  init_ref_time();
  game_rnd_seed = has_seed ? seed : uint64_t(get_ref_time());

  bool ok = create_world_gen_vm(script.c_str());
  if (ok) ok = generate_world();
  if (!ok) {
    std::fprintf(stderr, "worldgen: %s\n", get_error_message());
    close_world_gen_vm();
    return 1;
  }
  std::printf("world hash: %016llx\n", (unsigned long long)world_hash());
  std::fflush(stdout);
  if (!make_folders(out)) {
    close_world_gen_vm();
    return 3;
  }
  float sea = 0;
  bool has_sea = last_world_sea_level(sea);
  bool written = write_world_previews(out.c_str());
  written = write_height_scale(out.c_str(), has_sea ? &sea : nullptr, last_world_seed()) && written;
  close_world_gen_vm();
  return written ? 0 : 3;
}
