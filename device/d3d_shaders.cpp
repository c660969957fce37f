// The shader table: GLSL sources compiled into one program per vertex/pixel
// pair with a common preamble, program-binary cache files and reloading of
// changed sources. The shared constant registers are in d3d_consts.cpp.
//
// Sections: the preamble · source assembly and the include handler ·
// compiling and linking · program set-up · cache files · the table's
// interface · reloading.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/user_dirs.h"
#include "device/d3d_internal.h"
#include "device/d3d_shaders.h"

namespace {
// Everything the shader table keeps.
struct ShaderSystem {
  ShaderRecord table[MAX_SHADERS];
  bool compilerPresent = false;
  bool binaryCache = false;  // the driver hands out program binaries
  bool reloading = false;    // a reload pass runs: compile errors also go on screen
  unsigned nextSerial = 1;
  bool cacheWriteFailureReported = false;  // said once, not at every shader
};
ShaderSystem sys;

void report_cache_write_failure(const char* path, const char* why) {
  if (sys.cacheWriteFailureReported) return;
  sys.cacheWriteFailureReported = true;
  debug("can't write shader cache '%s': %s (shaders compile at every start)", path, why);
}

// ---- the preamble ----

// Bumped whenever the preamble or the program interface changes, so that
// cache files written by an older build are compiled again.
constexpr const char* PREAMBLE_VERSION = "tolvane-glsl-1";

// The common preamble. Positions returned by vsh() use the device's clip
// space: z from 0 to w, pixel centres at integer coordinates, y up with the
// target's top row at y = +1 also for texture targets. main() converts them:
// x and y move by half a pixel (d3d_rt.xy = 1 / target size), y is flipped
// while a texture is the target (d3d_rt.z = -1), and z is mapped onto GL's
// -w..w range.
const char* PREAMBLE_COMMON = R"(
layout(std140) uniform D3dLayer {
  vec4 d3d_rt;     // 1/width, 1/height, orientation (+1 back buffer, -1 texture), height
  vec4 d3d_atest;  // alpha test on (1) or off (0), reference 0..255
};
)";

const char* PREAMBLE_VSH = R"(
layout(std140) uniform VsConsts { vec4 vc[256]; };
vec4 vsh();
void main() {
  vec4 p = vsh();
  gl_Position = vec4(p.x + p.w * d3d_rt.x, d3d_rt.z * (p.y - p.w * d3d_rt.y), 2.0 * p.z - p.w, p.w);
}
)";

const char* PREAMBLE_PSH = R"(
layout(std140) uniform PsConsts { vec4 pc[224]; };
layout(location = 0) out vec4 d3d_oC0;
layout(location = 1) out vec4 oC1;
layout(location = 2) out vec4 oC2;
layout(location = 3) out vec4 oC3;
vec4 psh();
// Pixel position with (0, 0) at the top-left pixel of the target.
vec2 vpos() {
  float y = d3d_rt.z > 0.0 ? d3d_rt.w - gl_FragCoord.y : gl_FragCoord.y;
  return vec2(gl_FragCoord.x - 0.5, y - 0.5);
}
void main() {
  vec4 c = psh();
  if (d3d_atest.x > 0.5 && floor(clamp(c.a, 0.0, 1.0) * 255.0 + 0.5) < d3d_atest.y) discard;
  d3d_oC0 = c;
}
)";

std::string driver_id() {
  std::string id = PREAMBLE_VERSION;
  for (GLenum e : {GL_VENDOR, GL_RENDERER, GL_VERSION}) {
    const char* s = reinterpret_cast<const char*>(glGetString(e));
    id += "|";
    id += s ? s : "";
  }
  return id;
}

bool read_whole_file(const char* full_path, std::string& out) {
  FileInputStream in;
  if (!in.open(full_path)) return false;
  try {
    in.seekToEnd(0);
    int size = in.tell();
    if (size < 0) return false;
    in.seekTo(0);
    out.resize(size_t(size));
    if (size > 0) in.read(out.data(), size);
  } catch (const InputStream::Exception&) {
    return false;
  }
  return true;
}

void add_dependency(ShaderRecord* s, const char* name, int64_t time) {
  ShaderDependency d;
  std::memset(&d, 0, sizeof(d));
  std::strncpy(d.name, name, 259);
  d.time = time;
  s->deps.push_back(d);
}

// ---- source assembly and the include handler ----

struct StageSource {
  ShaderRecord* rec;
  std::string text;
  std::vector<std::string> files;  // GLSL source-string numbers 1.. name these
  std::string error;
};

// Opens a source or include file as the compiler's include handler would:
// resolved against the application directory, recorded as a dependency.
bool open_include(StageSource& st, const char* name, std::string& data) {
  G_ASSERT(name);
  TempString full = make_full_path(name);
  if (!read_whole_file(full.c_str(), data)) return false;
  add_dependency(st.rec, name, sys.compilerPresent ? get_file_time(full.c_str()) : 0);
  return true;
}

// The quoted or bracketed name of an "#include" line, or false.
bool parse_include(const std::string& line, std::string& name) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return false;
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return false;
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || (line[i] != '"' && line[i] != '<')) return false;
  char close = line[i] == '"' ? '"' : '>';
  size_t j = line.find(close, i + 1);
  if (j == std::string::npos) return false;
  name = line.substr(i + 1, j - i - 1);
  return true;
}

bool append_file(StageSource& st, const std::string& name, const std::string& from, int depth) {
  if (depth > 16) {
    st.error += "include nesting too deep at '" + name + "'\n";
    return false;
  }
  std::string data;
  if (!open_include(st, name.c_str(), data)) {
    st.error += from.empty() ? "can't open source file '" + name + "'\n"
                             : from + ": can't open include file '" + name + "'\n";
    return false;
  }
  st.files.push_back(name);
  int file_no = int(st.files.size());
  st.text += "#line 1 " + std::to_string(file_no) + "\n";
  size_t pos = 0;
  int line_no = 1;
  while (pos <= data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    std::string inc;
    if (parse_include(line, inc)) {
      if (!append_file(st, inc, name + "(" + std::to_string(line_no) + ")", depth + 1)) return false;
      st.text += "#line " + std::to_string(line_no + 1) + " " + std::to_string(file_no) + "\n";
    } else {
      st.text += line;
      st.text += "\n";
    }
    pos = end + 1;
    line_no++;
  }
  return true;
}

bool build_stage_source(StageSource& st, bool pixel) {
  st.text = "#version 330 core\n";
  st.text += PREAMBLE_COMMON;
  // The caller's defines as (name, value) pairs, until an empty name or a
  // name without a value.
  const char* d = st.rec->defines;
  while (*d) {
    const char* name = d;
    const char* value = name + std::strlen(name) + 1;
    if (!*value) break;
    st.text += std::string("#define ") + name + " " + value + "\n";
    d = value + std::strlen(value) + 1;
  }
  st.text += pixel ? "#define PSH  1\n" : "#define VSH  1\n";
  st.text += pixel ? PREAMBLE_PSH : PREAMBLE_VSH;
  return append_file(st, st.rec->file, "", 0);
}

// Compiler messages name source strings by number; put the file names back.
std::string name_files(const std::string& log, const std::vector<std::string>& files) {
  std::string out;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    size_t k = 0;
    while (k < line.size() && std::isdigit(uint8_t(line[k]))) k++;
    if (k > 0 && k < line.size() && (line[k] == ':' || line[k] == '(')) {
      int n = std::atoi(line.substr(0, k).c_str());
      if (n >= 1 && n <= int(files.size())) line = files[size_t(n) - 1] + line.substr(k);
      else if (n == 0) line = "<preamble>" + line.substr(k);
    }
    out += line + "\n";
    pos = end + 1;
  }
  return out;
}

// ---- compiling and linking ----

void report(const char* head, const std::string& text) {
  debug("%s", head);
  debug("%.*s", int(text.size()), text.c_str());
  if (sys.reloading) {
    append_error_message(head, -1);
    append_error_message(text.c_str(), int(text.size()));
  }
}

// Compiles one stage; the shader object or 0.
GLuint compile_stage(ShaderRecord* s, bool pixel) {
  const char* func = pixel ? "psh" : "vsh";
  StageSource st;
  st.rec = s;
  char head[400];
  std::snprintf(head, sizeof(head), "GLSL '%s', func '%s':", s->file, func);
  if (!build_stage_source(st, pixel)) {
    report(head, st.error);
    debug("FAILED to compile GLSL shader '%s', func '%s'", s->file, func);
    return 0;
  }
  GLuint sh = glCreateShader(pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER);
  if (!sh) {
    debug("can't create %s shader from '%s'", pixel ? "pixel" : "vertex", s->file);
    return 0;
  }
  const char* src = st.text.c_str();
  GLint len = GLint(st.text.size());
  glShaderSource(sh, 1, &src, &len);
  glCompileShader(sh);
  GLint ok = 0, log_len = 0;
  glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
  glGetShaderiv(sh, GL_INFO_LOG_LENGTH, &log_len);
  if (log_len > 1) {
    std::string log(size_t(log_len), '\0');
    glGetShaderInfoLog(sh, log_len, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    // A clean compile's log holds only warnings; they are logged, not shown.
    if (ok) {
      debug("%s", head);
      std::string named = name_files(log, st.files);
      debug("%.*s", int(named.size()), named.c_str());
    } else {
      report(head, name_files(log, st.files));
    }
  }
  if (!ok) {
    debug("FAILED to compile GLSL shader '%s', func '%s'", s->file, func);
    glDeleteShader(sh);
    return 0;
  }
  return sh;
}

// ---- program set-up ----

// The stage a sampler's name gives: the number it ends with.
int sampler_stage(const char* name) {
  std::string n = name;
  if (n.size() > 3 && n.compare(n.size() - 3, 3, "[0]") == 0) n.resize(n.size() - 3);
  size_t k = n.size();
  while (k > 0 && std::isdigit(uint8_t(n[k - 1]))) k--;
  if (k == n.size()) return -1;
  return std::atoi(n.c_str() + k);
}

bool is_sampler_type(GLenum t) {
  switch (t) {
    case GL_SAMPLER_1D: case GL_SAMPLER_2D: case GL_SAMPLER_3D: case GL_SAMPLER_CUBE:
    case GL_SAMPLER_2D_SHADOW: case GL_SAMPLER_2D_ARRAY: case GL_INT_SAMPLER_2D:
    case GL_UNSIGNED_INT_SAMPLER_2D: case GL_SAMPLER_2D_RECT:
      return true;
    default: return false;
  }
}

// A vertex input's usage and index from its name (POSITION0, TEXCOORD3, ...).
bool parse_input_name(const char* name, uint8_t& usage, uint8_t& index) {
  static const struct {
    const char* prefix;
    uint8_t usage;
  } usages[] = {{"POSITION", DECLUSAGE_POSITION}, {"NORMAL", DECLUSAGE_NORMAL}, {"COLOR", DECLUSAGE_COLOR},
                {"TEXCOORD", DECLUSAGE_TEXCOORD}, {"TANGENT", DECLUSAGE_TANGENT}};
  for (auto& u : usages) {
    size_t l = std::strlen(u.prefix);
    if (std::strncmp(name, u.prefix, l) != 0) continue;
    const char* rest = name + l;
    int idx = 0;
    if (*rest) {
      for (const char* c = rest; *c; c++)
        if (!std::isdigit(uint8_t(*c))) return false;
      idx = std::atoi(rest);
      if (idx > 255) return false;
    }
    usage = u.usage;
    index = uint8_t(idx);
    return true;
  }
  return false;
}

// Binds a linked program to the shared register blocks and sampler stages
// and records its vertex inputs.
void setup_program(ShaderRecord* s, GLuint prog) {
  static const struct {
    const char* name;
    GLuint binding;
  } blocks[] = {{"VsConsts", UBO_VS_CONSTS}, {"PsConsts", UBO_PS_CONSTS}, {"D3dLayer", UBO_LAYER}};
  for (auto& b : blocks) {
    GLuint idx = glGetUniformBlockIndex(prog, b.name);
    if (idx != GL_INVALID_INDEX) glUniformBlockBinding(prog, idx, b.binding);
  }
  gl_use_program(prog);
  GLint n = 0;
  glGetProgramiv(prog, GL_ACTIVE_UNIFORMS, &n);
  for (GLint i = 0; i < n; i++) {
    char name[256];
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(prog, GLuint(i), sizeof(name), nullptr, &size, &type, name);
    if (!is_sampler_type(type)) continue;
    int stage = sampler_stage(name);
    if (stage < 0 || stage + size > 16) {
      debug("GLSL '%s': sampler '%s' names no stage 0..15, using 0", s->file, name);
      stage = 0;
      size = 1;
    }
    GLint loc = glGetUniformLocation(prog, name);
    std::vector<GLint> units(static_cast<size_t>(size));
    for (int k = 0; k < size; k++) units[size_t(k)] = stage + k;
    glUniform1iv(loc, size, units.data());
    for (int k = 0; k < size; k++) s->samplerMask |= 1u << (stage + k);
  }

  s->numInputs = 0;
  GLint na = 0;
  glGetProgramiv(prog, GL_ACTIVE_ATTRIBUTES, &na);
  for (GLint i = 0; i < na; i++) {
    char name[256];
    GLint size = 0;
    GLenum type = 0;
    glGetActiveAttrib(prog, GLuint(i), sizeof(name), nullptr, &size, &type, name);
    if (std::strncmp(name, "gl_", 3) == 0) continue;
    GLint loc = glGetAttribLocation(prog, name);
    uint8_t usage = 0, index = 0;
    if (loc < 0 || s->numInputs >= 16) continue;
    if (!parse_input_name(name, usage, index)) {
      debug("GLSL '%s': vertex input '%s' names no usage; it reads (0, 0, 0, 1)", s->file, name);
      glVertexAttrib4f(GLuint(loc), 0, 0, 0, 1);
      continue;
    }
    s->inputs[s->numInputs++] = ShaderInput{loc, usage, index};
  }
}

void delete_program(GLuint prog) {
  if (!prog) return;
  gl_use_program(0);  // a program in use would only be deleted once replaced
  glDeleteProgram(prog);
}

void install_program(ShaderRecord* s, GLuint prog) {
  forget_shader_inputs(s);
  s->program = prog;
  s->serial = sys.nextSerial++;
  s->samplerMask = 0;
  setup_program(s, prog);
}

// ---- cache files ----

void write_cache(ShaderRecord* s, GLuint prog) {
  if (!sys.binaryCache) return;
  GLint len = 0;
  glGetProgramiv(prog, GL_PROGRAM_BINARY_LENGTH, &len);
  if (len <= 0) return;
  std::vector<uint8_t> bin(size_t(len) + 4);
  GLenum format = 0;
  GLsizei got = 0;
  glGetProgramBinary(prog, len, &got, &format, bin.data() + 4);
  if (got <= 0) return;
  uint32_t f = format;
  std::memcpy(bin.data(), &f, 4);
  bin.resize(size_t(got) + 4);
  std::string id = driver_id();

  std::string names;
  for (auto& d : s->deps) {
    names += d.name;
    names += '\0';
  }
  names += '\0';
  uint32_t head[4] = {SHADER_CACHE_MAGIC, uint32_t(names.size()), uint32_t(bin.size()), uint32_t(id.size() + 1)};

  char path[SHADER_CACHE_PATH_MAX];
  make_shader_cache_name(s->file, s->defines, path, sizeof(path));
  // The cache is only an optimisation: a failed write costs a compile at
  // the next start, and is said once so that the log is not flooded.
  std::string why;
  FileOutputStream out;
  if (!path[0]) why = "its path is too long";
  if (!why.empty() || !make_parent_dirs(path, &why) || !out.open(path)) {
    report_cache_write_failure(path[0] ? path : s->file, why.empty() ? std::strerror(errno) : why.c_str());
    return;
  }
  errno = 0;
  try {
    out.write(head, sizeof(head));
    out.write(names.data(), int(names.size()));
    out.write(bin.data(), int(bin.size()));
    out.write(id.c_str(), int(id.size() + 1));
    out.close();
  } catch (const OutputStream::Exception& e) {
    report_cache_write_failure(path, errno ? std::strerror(errno) : e.message);
    out.close();
    std::remove(path);
  }
}

bool load_from_cache(ShaderRecord* s) {
  s->deps.clear();
  if (!sys.binaryCache) return false;
  char path[SHADER_CACHE_PATH_MAX];
  make_shader_cache_name(s->file, s->defines, path, sizeof(path));
  FileInputStream in;
  if (!in.open(path)) return false;
  std::vector<uint8_t> names, bin, id;
  try {
    in.seekToEnd(0);
    int64_t file_size = in.tell();
    in.seekTo(0);
    uint32_t head[4];
    in.read(head, sizeof(head));
    if (head[0] != SHADER_CACHE_MAGIC) return false;
    if (int64_t(head[1]) + head[2] + head[3] + 16 > file_size) return false;
    names.resize(head[1]);
    bin.resize(head[2]);
    id.resize(head[3]);
    if (!names.empty()) in.read(names.data(), int(names.size()));
    if (!bin.empty()) in.read(bin.data(), int(bin.size()));
    if (!id.empty()) in.read(id.data(), int(id.size()));
  } catch (const InputStream::Exception&) {
    return false;
  }
  // Dependency names, each NUL-terminated, until an empty one or the end.
  size_t p = 0;
  while (p < names.size() && names[p]) {
    size_t e = p;
    while (e < names.size() && names[e]) e++;
    if (e == names.size() || e - p > 259) {
      s->deps.clear();
      return false;
    }
    const char* name = reinterpret_cast<const char*>(names.data() + p);
    add_dependency(s, name, sys.compilerPresent ? get_file_time(make_full_path(name).c_str()) : 0);
    p = e + 1;
  }
  if (sys.compilerPresent) {
    // A source changed since the cache was written: compile again.
    int64_t c = get_file_time(path);
    for (auto& d : s->deps)
      if (d.time > c) {
        s->deps.clear();
        return false;
      }
  }
  std::string want = driver_id();
  if (bin.size() < 4 || id.size() != want.size() + 1 || std::memcmp(id.data(), want.c_str(), id.size()) != 0) {
    s->deps.clear();
    return false;
  }
  uint32_t format;
  std::memcpy(&format, bin.data(), 4);
  GLuint prog = glCreateProgram();
  glProgramBinary(prog, format, bin.data() + 4, GLsizei(bin.size() - 4));
  GLint ok = 0;
  glGetProgramiv(prog, GL_LINK_STATUS, &ok);
  while (glGetError() != GL_NO_ERROR) {
  }
  if (!ok) {
    glDeleteProgram(prog);
    s->deps.clear();
    return false;
  }
  install_program(s, prog);
  debug("loaded shader '%s' from cache", s->file);
  return true;
}

// Compiles both stages, links them and writes the cache; the new program or 0.
GLuint compile_and_cache(ShaderRecord* s) {
  s->deps.clear();
  GLuint vs = compile_stage(s, false);
  if (!vs) {
    debug("can't create vertex shader from '%s'", s->file);
    return 0;
  }
  GLuint ps = compile_stage(s, true);
  if (!ps) {
    debug("can't create pixel shader from '%s'", s->file);
    glDeleteShader(vs);
    return 0;
  }
  GLuint prog = glCreateProgram();
  if (sys.binaryCache) glProgramParameteri(prog, GL_PROGRAM_BINARY_RETRIEVABLE_HINT, GL_TRUE);
  glAttachShader(prog, vs);
  glAttachShader(prog, ps);
  glLinkProgram(prog);
  glDetachShader(prog, vs);
  glDetachShader(prog, ps);
  glDeleteShader(vs);
  glDeleteShader(ps);
  GLint ok = 0, log_len = 0;
  glGetProgramiv(prog, GL_LINK_STATUS, &ok);
  if (!ok) {
    glGetProgramiv(prog, GL_INFO_LOG_LENGTH, &log_len);
    std::string log(size_t(log_len > 1 ? log_len : 1), '\0');
    glGetProgramInfoLog(prog, GLsizei(log.size()), nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    char head[400];
    std::snprintf(head, sizeof(head), "GLSL '%s', link:", s->file);
    report(head, log);
    debug("can't link shader program from '%s'", s->file);
    glDeleteProgram(prog);
    return 0;
  }
  write_cache(s, prog);
  return prog;
}

void empty_slot(ShaderRecord* s) {
  if (dev.shader == s) dev.shader = nullptr;
  forget_shader_inputs(s);
  delete_program(s->program);
  s->program = 0;
  s->deps.reset();
  s->refcount = 0;
  s->file[0] = 0;
  std::memset(s->defines, 0, sizeof(s->defines));
  s->numInputs = 0;
}

bool same_file_time(const ShaderDependency& d) {
  return get_file_time(make_full_path(d.name).c_str()) == d.time;
}
}  // namespace

// ---- the table's interface ----

int defines_list_size(const char* defines) {
  if (!defines) return 0;
  const char* p = defines;
  while (*p) p += std::strlen(p) + 1;
  return int(p - defines) + 1;
}

void make_shader_cache_name(const char* file, const char* defines, char* out, int out_size) {
  std::string suffix;
  if (defines)
    for (const char* p = defines; *p; p += std::strlen(p) + 1) {
      suffix += '@';
      for (const char* c = p; *c; c++) suffix += std::isalnum(uint8_t(*c)) && uint8_t(*c) < 128 ? *c : '_';
    }
  char rel[1024];
  std::snprintf(rel, sizeof(rel), "cache/%s%s.cache", file, suffix.c_str());
  std::string full = writable_path(WriteArea::Cache, rel);
  // A cut name could be another shader's file: no name, no cache.
  if (std::snprintf(out, size_t(out_size), "%s", full.c_str()) >= out_size) out[0] = 0;
}

ShaderRecord* load_shader(const char* file, const char* defines) {
  G_ASSERT(file);
  int dsize = defines_list_size(defines);
  if (dsize <= 1) dsize = 0;  // an empty list is no defines
  for (auto& s : sys.table) {
    if (!s.program || std::strcmp(s.file, file) != 0) continue;
    int have = defines_list_size(s.defines[0] ? s.defines : nullptr);
    if (have == dsize && (dsize == 0 || std::memcmp(s.defines, defines, size_t(dsize)) == 0)) {
      s.refcount++;
      return &s;
    }
  }
  ShaderRecord* s = nullptr;
  for (auto& e : sys.table)
    if (!e.program) {
      s = &e;
      break;
    }
  if (!s) fatal("reached maximum shader count!");
  copy_fixed(s->file, file);
  G_ASSERT(dsize <= int(sizeof(s->defines)));
  std::memset(s->defines, 0, sizeof(s->defines));
  if (dsize) std::memcpy(s->defines, defines, size_t(dsize));

  if (!load_from_cache(s)) {
    GLuint prog = sys.compilerPresent ? compile_and_cache(s) : 0;
    if (!prog) {
      char name[260];
      copy_fixed(name, file);
      empty_slot(s);
      fatal("can't create shader from %s'%s'", sys.compilerPresent ? "" : "cache for ", name);
    }
    install_program(s, prog);
  }
  s->refcount = 1;
  return s;
}

void release_shader(ShaderRecord* s) {
  if (!s) return;
  G_ASSERT(s->refcount>0);
  if (--s->refcount == 0) empty_slot(s);
}

void release_all_shaders() {
  for (auto& s : sys.table)
    if (s.program) empty_slot(&s);
}

// The program is bound by the next draw.
void set_shaders(ShaderRecord* s) { dev.shader = s; }


void init_shader_system() {
  GLboolean has = GL_FALSE;
  glGetBooleanv(GL_SHADER_COMPILER, &has);
  // TOLVANE_NO_SHADER_COMPILER runs the game from its cache files only, as a
  // build shipped without sources would.
  sys.compilerPresent = has && !std::getenv("TOLVANE_NO_SHADER_COMPILER");
  debug(sys.compilerPresent ? "shader compiler available" : "no shader compiler");
  GLint formats = 0;
  if (epoxy_gl_version() >= 41 || epoxy_has_gl_extension("GL_ARB_get_program_binary"))
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &formats);
  sys.binaryCache = formats > 0;
  if (!sys.binaryCache) debug("no program binary formats: shader cache disabled");
}

void close_shader_system() {
  release_all_shaders();
  sys.compilerPresent = false;
  sys.binaryCache = false;
  sys.reloading = false;
}

bool shader_compiler_present() { return sys.compilerPresent; }

int get_shader_count() {
  int n = 0;
  for (auto& s : sys.table) n += s.program != 0;
  return n;
}

// ---- reloading ----

void reload_changed_shaders() {
  if (!sys.compilerPresent) return;
  bool first = true;
  for (auto& s : sys.table) {
    if (!s.program) continue;
    bool changed = s.deps.empty();
    for (auto& d : s.deps)
      if (!same_file_time(d)) {
        changed = true;
        break;
      }
    if (!changed) continue;
    if (first) {
      sys.reloading = true;
      set_error_message(nullptr);
      first = false;
    }
    GLuint prog = compile_and_cache(&s);
    if (prog) {
      debug("reloaded shader '%s'", s.file);
      GLuint old = s.program;
      install_program(&s, prog);
      delete_program(old);
    } else {
      char msg[320];
      std::snprintf(msg, sizeof(msg), "FAILED to reload shader '%s'", s.file);
      append_error_message(msg, -1);
    }
  }
  sys.reloading = false;
}
