// Shared fixture for the engine's API tests: a VM whose print and error
// output, compiler errors and runtime errors are captured for inspection.
#pragma once

#include <gtest/gtest.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <squirrel.h>

#include <cstdarg>
#include <cstdio>
#include <string>

struct Captured {
  std::string out, err, compile_error;
  SQInteger line = -1, column = -1;
};

inline Captured *captured(HSQUIRRELVM v) { return static_cast<Captured *>(sq_getforeignptr(v)); }

inline void CapturePrint(HSQUIRRELVM v, const SQChar *fmt, ...) {
  char buf[4096];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  captured(v)->out += buf;
}

inline void CaptureError(HSQUIRRELVM v, const SQChar *fmt, ...) {
  char buf[4096];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  captured(v)->err += buf;
}

inline void CaptureCompileError(HSQUIRRELVM v, const SQChar *desc, const SQChar *, SQInteger line, SQInteger col) {
  captured(v)->compile_error = desc;
  captured(v)->line = line;
  captured(v)->column = col;
}

class VmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    v = sq_open(1024);
    sq_setforeignptr(v, &cap);
    sq_setprintfunc(v, CapturePrint, CaptureError);
    sq_setcompilererrorhandler(v, CaptureCompileError);
    sq_pushroottable(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sq_pop(v, 1);
  }
  void TearDown() override {
    if (v) sq_close(v);
  }
  // Compiles and runs `src` with the root table as 'this'; leaves the stack as it was.
  bool Run(const char *src, bool raise = true) {
    SQInteger top = sq_gettop(v);
    if (SQ_FAILED(sq_compilebuffer(v, src, (SQInteger)strlen(src), "test", SQTrue))) return false;
    sq_pushroottable(v);
    bool ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, raise ? SQTrue : SQFalse));
    sq_settop(v, top);
    return ok;
  }
  std::string LastError() {
    sq_getlasterror(v);
    const SQChar *s = "<not a string>";
    sq_getstring(v, -1, &s);
    std::string r = s;
    sq_pop(v, 1);
    return r;
  }
  // Pushes the root-table slot `name`.
  void PushGlobal(const char *name) {
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_remove(v, -2);
  }
  void SetGlobalFn(const char *name, SQFUNCTION f, SQInteger nfree = 0) {
    // caller has pushed nfree free variables
    sq_newclosure(v, f, (SQUnsignedInteger)nfree);
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_push(v, -3);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_pop(v, 2);
  }
  HSQUIRRELVM v = nullptr;
  Captured cap;
};
