// Loading script files from disk.
#include <sqstdio.h>

#include <cstdio>
#include <string>

SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar *filename, SQBool printerror) {
  FILE *f = fopen(filename, "rb");
  if (!f) return sq_throwerror(v, "cannot open the file");
  std::string src;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) src.append(buf, n);
  bool err = ferror(f) != 0;
  fclose(f);
  if (err) return sq_throwerror(v, "cannot read the file");
  size_t start = 0;
  if (src.size() >= 3 && (unsigned char)src[0] == 0xEF && (unsigned char)src[1] == 0xBB && (unsigned char)src[2] == 0xBF)
    start = 3;  // UTF-8 byte order mark
  if (src.size() >= start + 2 && src[start] == '#' && src[start + 1] == '!') {
    // keep the line so that line numbers stay right, but blank out the shebang
    while (start < src.size() && src[start] != '\n') src[start++] = ' ';
    start = 0;
  }
  return sq_compilebuffer(v, src.data() + start, (SQInteger)(src.size() - start), filename, printerror);
}

SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar *filename, SQBool retval, SQBool printerror) {
  if (SQ_FAILED(sqstd_loadfile(v, filename, printerror))) return SQ_ERROR;
  sq_push(v, -2);
  if (SQ_FAILED(sq_call(v, 1, retval, SQTrue))) {
    sq_pop(v, 1);
    return SQ_ERROR;
  }
  sq_remove(v, retval ? -2 : -1);
  return SQ_OK;
}

static SQInteger io_dofile(HSQUIRRELVM v) {
  const SQChar *name;
  sq_getstring(v, 2, &name);
  SQBool raise = SQFalse;
  if (sq_gettop(v) >= 3) sq_getbool(v, 3, &raise);
  sq_push(v, 1);
  if (SQ_FAILED(sqstd_dofile(v, name, SQTrue, raise))) return SQ_ERROR;
  return 1;
}

static SQInteger io_loadfile(HSQUIRRELVM v) {
  const SQChar *name;
  sq_getstring(v, 2, &name);
  SQBool raise = SQFalse;
  if (sq_gettop(v) >= 3) sq_getbool(v, 3, &raise);
  if (SQ_FAILED(sqstd_loadfile(v, name, raise))) return SQ_ERROR;
  return 1;
}

SQRESULT sqstd_register_iolib(HSQUIRRELVM v) {
  struct { const char *name; SQFUNCTION f; const char *mask; } fns[] = {
      {"dofile", io_dofile, ".sb"}, {"loadfile", io_loadfile, ".sb"}};
  for (auto &fn : fns) {
    sq_pushstring(v, fn.name, -1);
    sq_newclosure(v, fn.f, 0);
    sq_setparamscheck(v, -2, fn.mask);
    sq_setnativeclosurename(v, -1, fn.name);
    sq_newslot(v, -3, SQFalse);
  }
  return SQ_OK;
}

// ---------------------------------------------------------------- system helpers
#include <sqstdsystem.h>

#include <cstdlib>
#include <ctime>

static SQInteger sys_clock(HSQUIRRELVM v) {
  sq_pushfloat(v, (SQFloat)((double)clock() / (double)CLOCKS_PER_SEC));
  return 1;
}

static SQInteger sys_time(HSQUIRRELVM v) {
  sq_pushinteger(v, (SQInteger)time(nullptr));
  return 1;
}

static SQInteger sys_getenv(HSQUIRRELVM v) {
  const SQChar *name;
  sq_getstring(v, 2, &name);
  const char *val = getenv(name);
  if (!val) return 0;
  sq_pushstring(v, val, -1);
  return 1;
}

SQRESULT sqstd_register_systemlib(HSQUIRRELVM v) {
  struct { const char *name; SQFUNCTION f; SQInteger n; const char *mask; } fns[] = {
      {"clock", sys_clock, 1, nullptr}, {"time", sys_time, 1, nullptr}, {"getenv", sys_getenv, 2, ".s"}};
  for (auto &fn : fns) {
    sq_pushstring(v, fn.name, -1);
    sq_newclosure(v, fn.f, 0);
    sq_setparamscheck(v, fn.n, fn.mask);
    sq_setnativeclosurename(v, -1, fn.name);
    sq_newslot(v, -3, SQFalse);
  }
  return SQ_OK;
}
