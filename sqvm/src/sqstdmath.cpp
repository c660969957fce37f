// Standard math library.
#include <sqstdmath.h>

#include <cmath>
#include <cstdlib>

#define SQ_RAND_MAX RAND_MAX

namespace {

SQFloat F(HSQUIRRELVM v, SQInteger i) {
  SQFloat f = 0;
  sq_getfloat(v, i, &f);
  return f;
}

#define MATH_UNARY(name, expr)          \
  SQInteger math_##name(HSQUIRRELVM v) { \
    SQFloat x = F(v, 2);                 \
    sq_pushfloat(v, (SQFloat)(expr));    \
    return 1;                            \
  }

MATH_UNARY(sqrt, sqrtf(x))
MATH_UNARY(fabs, fabsf(x))
MATH_UNARY(sin, sinf(x))
MATH_UNARY(cos, cosf(x))
MATH_UNARY(asin, asinf(x))
MATH_UNARY(acos, acosf(x))
MATH_UNARY(log, logf(x))
MATH_UNARY(log2, log2f(x))
MATH_UNARY(log10, log10f(x))
MATH_UNARY(tan, tanf(x))
MATH_UNARY(atan, atanf(x))
MATH_UNARY(floor, floorf(x))
MATH_UNARY(ceil, ceilf(x))
MATH_UNARY(exp, expf(x))

SQInteger math_atan2(HSQUIRRELVM v) {
  sq_pushfloat(v, atan2f(F(v, 2), F(v, 3)));
  return 1;
}
SQInteger math_pow(HSQUIRRELVM v) {
  sq_pushfloat(v, powf(F(v, 2), F(v, 3)));
  return 1;
}
SQInteger math_srand(HSQUIRRELVM v) {
  SQInteger i;
  if (SQ_FAILED(sq_getinteger(v, 2, &i))) return sq_throwerror(v, "invalid param");
  srand((unsigned int)i);
  return 0;
}
SQInteger math_rand(HSQUIRRELVM v) {
  sq_pushinteger(v, rand());
  return 1;
}
SQInteger math_abs(HSQUIRRELVM v) {
  SQInteger n;
  sq_getinteger(v, 2, &n);
  // wraps like every integer negation: abs of the smallest integer is itself
  sq_pushinteger(v, n < 0 ? (SQInteger)(0ull - (SQUnsignedInteger)n) : n);
  return 1;
}

struct Fn {
  const char *name;
  SQFUNCTION f;
  SQInteger nparams;
  const char *mask;
};

const Fn kMathFuncs[] = {
    {"sqrt", math_sqrt, 2, ".n"},   {"sin", math_sin, 2, ".n"},     {"cos", math_cos, 2, ".n"},
    {"asin", math_asin, 2, ".n"},   {"acos", math_acos, 2, ".n"},   {"log", math_log, 2, ".n"},
    {"log10", math_log10, 2, ".n"}, {"log2", math_log2, 2, ".n"},   {"tan", math_tan, 2, ".n"},
    {"atan", math_atan, 2, ".n"},   {"atan2", math_atan2, 3, ".nn"}, {"pow", math_pow, 3, ".nn"},
    {"floor", math_floor, 2, ".n"}, {"ceil", math_ceil, 2, ".n"},   {"exp", math_exp, 2, ".n"},
    {"srand", math_srand, 2, ".n"}, {"rand", math_rand, 1, nullptr}, {"fabs", math_fabs, 2, ".n"},
    {"abs", math_abs, 2, ".n"},     {nullptr, nullptr, 0, nullptr}};

}  // namespace

SQRESULT sqstd_register_mathlib(HSQUIRRELVM v) {
  for (const Fn *f = kMathFuncs; f->name; f++) {
    sq_pushstring(v, f->name, -1);
    sq_newclosure(v, f->f, 0);
    sq_setparamscheck(v, f->nparams, f->mask);
    sq_setnativeclosurename(v, -1, f->name);
    sq_newslot(v, -3, SQFalse);
  }
  sq_pushstring(v, "RAND_MAX", -1);
  sq_pushinteger(v, SQ_RAND_MAX);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "PI", -1);
  sq_pushfloat(v, (SQFloat)3.14159265358979323846);
  sq_newslot(v, -3, SQFalse);
  return SQ_OK;
}
