// The shader table: sharing, limits, includes, cache files and reloading.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/messages.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/d3d_vbuf.h"
#include "tests/device/gl_env.h"
#include "tests/device/test_shaders.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A full-screen shader whose colour is written into the source.
std::string colour_shader(const char* colour, const char* include = nullptr) {
  std::string s;
  if (include) s += std::string("#include \"") + include + "\"\n";
  s += "#ifdef VSH\nin vec3 POSITION0;\nvec4 vsh() { return vec4(POSITION0, 1.0); }\n#endif\n";
  s += std::string("#ifdef PSH\nvec4 psh() { return ") + colour + "; }\n#endif\n";
  return s;
}

class Shaders : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    clock = int64_t(std::time(nullptr)) - 100000;
  }
  // Files get explicit, distinct times so that changes never fall into the
  // same second.
  std::string put(const std::string& rel, const std::string& text) {
    std::string full = write_app_file(rel, text);
    set_file_time(full, clock += 10);
    return full;
  }
  uint32_t draw_and_read(ShaderRecord* s) {
    set_back_buffer_target();
    clear_view_color(0xFF000000);
    set_shaders(s);
    draw_postfx();
    return pixel_at(10, 10);
  }
  int64_t clock = 0;
};

TEST_F(Shaders, SameFileAndDefinesShareOneRecord) {
  put("share.sh", colour_shader("vec4(NUM / 4.0, 0.0, 0.0, 1.0)"));
  int before = get_shader_count();
  ShaderRecord* a = load_shader("share.sh", "NUM\0 1\0");
  ShaderRecord* b = load_shader("share.sh", "NUM\0 1\0");
  ShaderRecord* c = load_shader("share.sh", "NUM\0 4\0");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(a->refcount, 2);
  EXPECT_EQ(get_shader_count(), before + 2);
  EXPECT_TRUE(exists(dir + "cache/share.sh@NUM@_1.cache"));
  EXPECT_TRUE(exists(dir + "cache/share.sh@NUM@_4.cache"));
  EXPECT_EQ(draw_and_read(a), 0xFF400000u);
  EXPECT_EQ(draw_and_read(c), 0xFFFF0000u);
  release_shader(a);
  EXPECT_EQ(get_shader_count(), before + 2);
  release_shader(b);
  release_shader(c);
  EXPECT_EQ(get_shader_count(), before);
  EXPECT_EXIT(release_shader(a), testing::ExitedWithCode(100), "failed ASSERT\\(s->refcount>0\\)");
}

TEST_F(Shaders, RegistersAreSharedByEveryShader) {
  put("reg_a.sh", colour_shader("pc[3]"));
  put("reg_b.sh", colour_shader("pc[3].bgra"));
  ShaderRecord* a = load_shader("reg_a.sh", nullptr);
  ShaderRecord* b = load_shader("reg_b.sh", nullptr);
  set_ps_const(3, vec4f(1, 0, 0.5f, 1));
  EXPECT_EQ(draw_and_read(a), 0xFFFF0080u);
  EXPECT_EQ(draw_and_read(b), 0xFF8000FFu);
  EXPECT_EQ(get_ps_consts()[3 * 4 + 2], 0.5f);
  release_shader(a);
  release_shader(b);
  EXPECT_EXIT(set_ps_const(223, static_cast<const float*>(nullptr), 2), testing::ExitedWithCode(100), "failed ASSERT");
}

TEST_F(Shaders, SamplersTakeTheStageTheirNameEndsWith) {
  put("stage.sh",
      "#ifdef VSH\nin vec3 POSITION0;\nvec4 vsh() { return vec4(POSITION0, 1.0); }\n#endif\n"
      "#ifdef PSH\nuniform sampler2D image11;\nvec4 psh() { return texture(image11, vec2(0.5)); }\n#endif\n");
  Texture* t = create_managed_texture(1, 1);
  int pitch;
  auto* p = static_cast<uint8_t*>(lock_texture(t, pitch, true));
  p[0] = 0x30, p[1] = 0x20, p[2] = 0x10, p[3] = 0xFF;
  unlock_texture(t);
  ShaderRecord* s = load_shader("stage.sh", nullptr);
  set_texture(11, t);
  EXPECT_EQ(draw_and_read(s), 0xFF102030u);
  set_texture(11, nullptr);
  release_shader(s);
  release_texture(t);
}

TEST_F(Shaders, IncludesAreDependenciesAndCacheFilesFollowTheLayout) {
  put("inc/colour.glsl", "#define COLOUR vec4(0.0, 1.0, 0.0, 1.0)\n");
  put("with_inc.sh", colour_shader("COLOUR", "inc/colour.glsl"));
  ShaderRecord* s = load_shader("with_inc.sh", nullptr);
  ASSERT_GE(s->deps.size(), 2);
  EXPECT_STREQ(s->deps[0].name, "with_inc.sh");
  EXPECT_STREQ(s->deps[1].name, "inc/colour.glsl");
  EXPECT_NE(s->deps[0].time, 0);
  EXPECT_EQ(draw_and_read(s), 0xFF00FF00u);

  std::string cache = read_file(dir + "cache/with_inc.sh.cache");
  ASSERT_GE(cache.size(), 16u);
  uint32_t head[4];
  std::memcpy(head, cache.data(), 16);
  EXPECT_EQ(head[0], 0x20100715u);
  EXPECT_EQ(cache.size(), 16u + head[1] + head[2] + head[3]);
  // Names of every dependency in order, each with its NUL, then one more NUL.
  std::string names(cache.data() + 16, head[1]);
  std::string want;
  for (auto& d : s->deps) want += std::string(d.name) + '\0';
  want += '\0';
  EXPECT_EQ(names, want);
  EXPECT_GT(head[2], 4u);  // the program binary with its format
  release_shader(s);
}

TEST_F(Shaders, CacheIsReusedIgnoredWhenStaleAndRewrittenOverOtherMagic) {
  std::string src = put("cached.sh", colour_shader("vec4(0.0, 0.0, 1.0, 1.0)"));
  std::string cache = dir + "cache/cached.sh.cache";
  ShaderRecord* s = load_shader("cached.sh", nullptr);
  release_shader(s);
  ASSERT_TRUE(exists(cache));
  set_file_time(cache, clock += 10);

  testing::internal::CaptureStdout();
  s = load_shader("cached.sh", nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("loaded shader 'cached.sh' from cache"), std::string::npos) << out;
  EXPECT_EQ(draw_and_read(s), 0xFF0000FFu);
  release_shader(s);

  // A newer source: compiled again, and the cache is written anew.
  put("cached.sh", colour_shader("vec4(1.0, 1.0, 0.0, 1.0)"));
  testing::internal::CaptureStdout();
  s = load_shader("cached.sh", nullptr);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("from cache"), std::string::npos) << out;
  EXPECT_EQ(draw_and_read(s), 0xFFFFFF00u);
  release_shader(s);

  // Another magic: ignored, then rewritten with the right one.
  std::string bytes = read_file(cache);
  bytes[0] ^= 0x55;
  write_app_file("cache/cached.sh.cache", bytes);
  set_file_time(cache, clock += 10);
  testing::internal::CaptureStdout();
  s = load_shader("cached.sh", nullptr);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("from cache"), std::string::npos) << out;
  EXPECT_EQ(draw_and_read(s), 0xFFFFFF00u);
  release_shader(s);
  uint32_t magic = 0;
  std::memcpy(&magic, read_file(cache).data(), 4);
  EXPECT_EQ(magic, 0x20100715u);

  // A cache cut short is no cache either.
  bytes = read_file(cache);
  write_app_file("cache/cached.sh.cache", bytes.substr(0, bytes.size() / 2));
  set_file_time(cache, clock += 10);
  testing::internal::CaptureStdout();
  s = load_shader("cached.sh", nullptr);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("from cache"), std::string::npos) << out;
  release_shader(s);
}

TEST_F(Shaders, ReloadKeepsTheOldShaderOnErrorsAndShowsThem) {
  std::string inc = put("reload_inc.glsl", "#define GREEN 0.0\n");
  put("reload.sh", colour_shader("vec4(1.0, GREEN, 0.0, 1.0)", "reload_inc.glsl"));
  ShaderRecord* s = load_shader("reload.sh", nullptr);
  set_error_message(nullptr);
  EXPECT_EQ(draw_and_read(s), 0xFFFF0000u);
  reload_changed_shaders();  // nothing changed
  EXPECT_FALSE(has_error_message());

  put("reload.sh", colour_shader("vec4(1.0, GREEN, 0.0, 1.0) +* oops", "reload_inc.glsl"));
  testing::internal::CaptureStdout();
  reload_changed_shaders();
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(has_error_message());
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("GLSL 'reload.sh', func 'psh':"), std::string::npos) << msg;
  EXPECT_NE(msg.find("reload.sh"), std::string::npos);
  EXPECT_NE(msg.find("FAILED to reload shader 'reload.sh'"), std::string::npos) << msg;
  EXPECT_NE(out.find("FAILED to compile GLSL shader 'reload.sh', func 'psh'"), std::string::npos) << out;
  EXPECT_EQ(draw_and_read(s), 0xFFFF0000u);  // the old shader stays
  // The failed attempt is not repeated every second.
  reload_changed_shaders();
  EXPECT_TRUE(has_error_message());

  put("reload.sh", colour_shader("vec4(1.0, GREEN, 0.0, 1.0)", "reload_inc.glsl"));
  testing::internal::CaptureStdout();
  reload_changed_shaders();
  out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(has_error_message());
  EXPECT_NE(out.find("reloaded shader 'reload.sh'"), std::string::npos) << out;

  // Touching only the included file recompiles the shader.
  put("reload_inc.glsl", "#define GREEN 1.0\n");
  reload_changed_shaders();
  EXPECT_EQ(draw_and_read(s), 0xFFFFFF00u);
  release_shader(s);
}

TEST_F(Shaders, FailuresAtStartAreFatal) {
  put("broken.sh", colour_shader("nonsense("));
  EXPECT_EXIT(load_shader("broken.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from 'broken.sh'");
  put("bad_inc.sh", colour_shader("vec4(1.0)", "no/such/file.glsl"));
  EXPECT_EXIT(load_shader("bad_inc.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from 'bad_inc.sh'");
  EXPECT_EXIT(load_shader("missing.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from 'missing.sh'");
  // An include that includes itself stops with an error, not a hang.
  put("loop.glsl", "#include \"loop.glsl\"\n");
  put("loop.sh", colour_shader("vec4(1.0)", "loop.glsl"));
  EXPECT_EXIT(load_shader("loop.sh", nullptr), testing::ExitedWithCode(100), "can't create shader from 'loop.sh'");
}

TEST_F(Shaders, TheSixtyFifthShaderIsFatal) {
  auto fill = [this] {
    for (int i = 0; get_shader_count() < 64; i++) {
      char name[32];
      std::snprintf(name, sizeof(name), "many%d.sh", i);
      put(name, colour_shader("vec4(1.0)"));
      load_shader(name, nullptr);
    }
    std::fprintf(stderr, "sixty-four loaded\n");
    put("one_more.sh", colour_shader("vec4(1.0)"));
    load_shader("one_more.sh", nullptr);
  };
  EXPECT_EXIT(fill(), testing::ExitedWithCode(100), "sixty-four loaded.*reached maximum shader count!");
}

TEST_F(Shaders, WithoutTheCompilerOnlyCacheFilesCount) {
  put("nocomp.sh", colour_shader("vec4(0.0, 1.0, 1.0, 1.0)"));
  ShaderRecord* s = load_shader("nocomp.sh", nullptr);
  release_shader(s);
  // A newer source is not compiled: the cache is used as it is.
  put("nocomp.sh", colour_shader("vec4(1.0, 0.0, 1.0, 1.0)"));
  close_d3d();
  setenv("TOLVANE_NO_SHADER_COMPILER", "1", 1);
  ASSERT_TRUE(init_d3d(window, 256, 256));
  EXPECT_FALSE(shader_compiler_present());
  s = load_shader("nocomp.sh", nullptr);
  EXPECT_EQ(draw_and_read(s), 0xFF00FFFFu);
  EXPECT_EQ(s->deps[0].time, 0);
  reload_changed_shaders();  // does nothing without a compiler
  EXPECT_EQ(draw_and_read(s), 0xFF00FFFFu);
  release_shader(s);
  close_d3d();
  unsetenv("TOLVANE_NO_SHADER_COMPILER");
  ASSERT_TRUE(init_d3d(window, 256, 256));
  EXPECT_TRUE(shader_compiler_present());
  auto without_compiler = [] {
    close_d3d();
    setenv("TOLVANE_NO_SHADER_COMPILER", "1", 1);
    init_d3d(window, 256, 256);
    load_shader("never_cached.sh", nullptr);
  };
  EXPECT_EXIT(without_compiler(), testing::ExitedWithCode(100), "can't create shader from cache for 'never_cached.sh'");
}

}  // namespace
