/* Standard math library: registers abs, sin, sqrt, rand, PI and friends. */
#ifndef SQSTD_MATH_H_INCLUDED
#define SQSTD_MATH_H_INCLUDED
#include <squirrel.h>
#ifdef __cplusplus
extern "C" {
#endif
SQUIRREL_API SQRESULT sqstd_register_mathlib(HSQUIRRELVM v);
#ifdef __cplusplus
}
#endif
#endif
