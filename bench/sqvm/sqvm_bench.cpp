// Native-call benchmarks of the engine: a script closure called from native
// code for every cell of a 256 x 256 map (the world-generation pattern), a
// native function called from a script loop, and VM start-up.
#include <benchmark/benchmark.h>
#include <sqstdmath.h>
#include <squirrel.h>

#include <cstring>

namespace {

HSQUIRRELVM OpenWith(const char *src) {
  HSQUIRRELVM v = sq_open(1024);
  sq_pushroottable(v);
  sqstd_register_mathlib(v);
  sq_pop(v, 1);
  if (SQ_FAILED(sq_compilebuffer(v, src, (SQInteger)strlen(src), "bench", SQTrue))) return v;
  sq_pushroottable(v);
  sq_call(v, 1, SQFalse, SQTrue);
  sq_pop(v, 1);
  return v;
}

void BM_ScriptClosureFromNative65536(benchmark::State &state) {
  HSQUIRRELVM v = OpenWith("function cell(x, y) { return x * 0.5 + y; }");
  sq_pushroottable(v);
  sq_pushstring(v, "cell", -1);
  sq_get(v, -2);
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < 65536; i++) {
      sq_push(v, -1);
      sq_pushroottable(v);
      sq_pushfloat(v, (SQFloat)(i & 255));
      sq_pushfloat(v, (SQFloat)(i >> 8));
      sq_call(v, 3, SQTrue, SQTrue);
      SQFloat f = 0;
      sq_getfloat(v, -1, &f);
      sum += f;
      sq_pop(v, 2);
    }
    benchmark::DoNotOptimize(sum);
  }
  sq_close(v);
}
BENCHMARK(BM_ScriptClosureFromNative65536)->Unit(benchmark::kMillisecond);

SQInteger NativeMix(HSQUIRRELVM v) {
  SQFloat a, b;
  sq_getfloat(v, 2, &a);
  sq_getfloat(v, 3, &b);
  sq_pushfloat(v, a * b + 1);
  return 1;
}

void BM_NativeFromScriptLoop65536(benchmark::State &state) {
  HSQUIRRELVM v = OpenWith("function run() { local s = 0.0; for (local i = 0; i < 65536; i++) s += mix(i, 0.5); return s; }");
  sq_pushroottable(v);
  sq_pushstring(v, "mix", -1);
  sq_newclosure(v, NativeMix, 0);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "run", -1);
  sq_get(v, -2);
  for (auto _ : state) {
    sq_push(v, -1);
    sq_pushroottable(v);
    sq_call(v, 1, SQTrue, SQTrue);
    sq_pop(v, 2);
  }
  sq_close(v);
}
BENCHMARK(BM_NativeFromScriptLoop65536)->Unit(benchmark::kMillisecond);

void BM_OpenCloseVm(benchmark::State &state) {
  for (auto _ : state) {
    HSQUIRRELVM v = sq_open(1024);
    sq_close(v);
  }
}
BENCHMARK(BM_OpenCloseVm)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
