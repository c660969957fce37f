// Fuzz target of the script engine: the input is compiled as a script and,
// when it compiles, run with the standard libraries under a short watchdog.
// Any crash, sanitizer report or hang is a finding; script errors are not.
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <squirrel.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace {
void quiet(HSQUIRRELVM, const SQChar*, ...) {}
void quiet_compile(HSQUIRRELVM, const SQChar*, const SQChar*, SQInteger, SQInteger) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HSQUIRRELVM v = sq_open(1024);
  sq_setprintfunc(v, quiet, quiet);
  sq_setcompilererrorhandler(v, quiet_compile);
  sq_setcalltimelimit(v, 0.05f);  // endless loops end quickly
  sq_pushroottable(v);
  sqstd_register_mathlib(v);
  sqstd_register_stringlib(v);
  sq_pop(v, 1);
  if (SQ_SUCCEEDED(sq_compilebuffer(v, reinterpret_cast<const SQChar*>(data), SQInteger(size), "fuzz", SQTrue))) {
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQTrue);
  }
  sq_close(v);
  return 0;
}
