// Ramps: lookups at and beyond the ends, the builders, the script classes
// and the text dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "script/ramp_classes.h"
#include "script/sqbind.h"
#include "script/vec_helpers.h"
#include "tests/script/script_test_support.h"

namespace {
// Captures what the debug log writes to standard output.
std::string capture_stdout(void (*fn)()) {
  std::fflush(stdout);
  char path[] = "/tmp/tolvane_rampdump_XXXXXX";
  int fd = mkstemp(path);
  int saved = dup(1);
  dup2(fd, 1);
  fn();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string out;
  char buf[4096];
  lseek(fd, 0, SEEK_SET);
  ssize_t n;
  while ((n = read(fd, buf, sizeof(buf))) > 0) out.append(buf, size_t(n));
  close(fd);
  unlink(path);
  return out;
}

int count(const std::string& s, const std::string& what) {
  int n = 0;
  for (size_t p = 0; (p = s.find(what, p)) != std::string::npos; p += what.size()) n++;
  return n;
}
}  // namespace

TEST(Ramps, GetClampsAndInterpolates) {
  FloatRamp r;
  linear_ramp(r, 0.0f, 256.0f);
  EXPECT_EQ(r.get(-1.0f), r.v[0]);
  EXPECT_EQ(r.get(2.0f), r.v[256]);
  EXPECT_EQ(r.get(0.5f), r.v[128]);
  EXPECT_FLOAT_EQ(r.get(0.5f + 0.5f / 256.0f), 128.5f);
  ColorRamp c;
  linear_ramp(c, vec4f(0, 0, 0, 0), vec4f(1, 2, 3, 4));
  EXPECT_FLOAT_EQ(c.get(0.5f).w, 2.0f);
  EXPECT_FLOAT_EQ(c.get(7.0f).y, 2.0f);
}

TEST(Ramps, FadeInOutPeaksAtTheFadeIn) {
  FloatRamp r;
  fade_in_out_ramp(r, 0.0f, 1.0f, 0.0f, 0.1f, 0.9f);
  for (int i = 1; i <= 25; i++) EXPECT_GT(r.v[i], r.v[i - 1]) << i;
  for (int i = 27; i <= 256; i++) EXPECT_LT(r.v[i], r.v[i - 1]) << i;
  EXPECT_EQ(r.v[0], 0.0f);
  EXPECT_NEAR(r.v[256], 0.0f, 1e-6f);
  // With no fade-in the start is the peak value itself.
  fade_in_out_ramp(r, 5.0f, 1.0f, 0.0f, 0.0f, 0.5f);
  EXPECT_EQ(r.v[0], 1.0f);
  EXPECT_EQ(r.v[128], 1.0f);
}

TEST(Ramps, ExportedRampsAreFilledBeforeMain) {
  EXPECT_FLOAT_EQ(size_05_2_anim.v[0], 0.5f);
  EXPECT_FLOAT_EQ(size_05_2_anim.v[256], 2.0f);
  EXPECT_FLOAT_EQ(size_05_4_anim.v[128], 0.5f + 0.5f * 3.5f);
  EXPECT_EQ(std_roll_anim.v[100], 0.0f);
  EXPECT_FLOAT_EQ(blend_std_fade_anim.v[0].w, 0.0f);
  EXPECT_FLOAT_EQ(blend_std_fade_anim.v[0].x, 1.0f);
  EXPECT_NEAR(blend_std_fade_anim.get(0.1f).w, 1.0f, 1e-3f);  // peak at the end of the fade-in
  EXPECT_LT(blend_std_fade_anim.get(0.5f).w, 0.9f);
  EXPECT_NEAR(glow_std_fade_anim.get(0.1f).x, 1.0f, 1e-3f);
  EXPECT_FLOAT_EQ(glow_std_fade_anim.v[0].x, 0.0f);
  EXPECT_LT(blend_rev_fade_anim.get(0.5f).w, 1.0f);  // still fading in at mid-life
  EXPECT_FLOAT_EQ(blend_end_fade_anim.get(0.5f).w, 1.0f);
}

TEST(Ramps, DumpWritesAStaticInitialiser) {
  std::string f = capture_stdout([] {
    FloatRamp r;
    linear_ramp(r, 0.0f, 1.0f);
    dump_ramp(r, "fr");
  });
  EXPECT_EQ(f.rfind("\nstatic FloatRamp fr=\n{\n ", 0), 0u);
  EXPECT_EQ(count(f, ","), 257);
  // 32 full lines of eight values and a last line with one value.
  int value_lines = 0, full = 0;
  size_t start = f.find("{\n") + 2;
  size_t end = f.find("\n};");
  std::string body = f.substr(start, end - start);
  for (size_t p = 0; p <= body.size();) {
    size_t nl = body.find('\n', p);
    std::string line = body.substr(p, nl == std::string::npos ? std::string::npos : nl - p);
    int n = count(line, ",");
    if (n) value_lines++;
    if (n == 8) full++;
    if (nl == std::string::npos) break;
    p = nl + 1;
  }
  EXPECT_EQ(value_lines, 33);
  EXPECT_EQ(full, 32);
  EXPECT_NE(f.find("\n};\n\n"), std::string::npos);  // debug adds its own line end

  std::string c = capture_stdout([] {
    ColorRamp r;
    const_ramp(r, vec4f(1, 0.5f, 0.25f, 1));
    dump_ramp(r, "cr");
  });
  EXPECT_EQ(count(c, " make4f(1, 0.5, 0.25, 1),"), 257);
  EXPECT_EQ(count(c, ",\n "), 64);
}

TEST(Ramps, ScriptClasses) {
  HSQUIRRELVM vm = sqbind::open_vm(1024);
  capture_print(vm);
  register_ramp_classes(vm);
  register_vec4f_and_helpers(vm);
  ASSERT_TRUE(run_text(vm,
                       "local f = FloatRamp(function(t) { return t * 2; });"
                       "local c = ColorRamp(function(t) { return 0xFF000000; });"
                       "local l = FloatRamp.linear(1, 3);"
                       "local k = ColorRamp.fadeInOut(0, 1, 0, 0.1, 0.9);"
                       "r <- [f.get(0.5), f.get(9), l.get(0.5), k.get(0)[1], c.get(0.2)[3], c.get(0.2)[0]];"));
  sq_pushroottable(vm);
  sq_pushstring(vm, "r", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(vm, -2)));
  float expect[] = {1.0f, 2.0f, 2.0f, 0.0f, 1.0f, 0.0f};
  for (int i = 0; i < 6; i++) EXPECT_FLOAT_EQ(sqbind::get_array_float(vm, -1, i), expect[i]) << i;
  sq_pop(vm, 2);
  // A float ramp function must return numbers.
  SQInteger top = sq_gettop(vm);
  EXPECT_THROW(run_text(vm, "FloatRamp(function(t) { return \"x\"; })"), sqbind::SquirrelError);
  sq_settop(vm, top);
  sqbind::close_vm(vm);
}
