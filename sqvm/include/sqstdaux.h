/* Auxiliary helpers: a default error handler that prints the call stack and locals. */
#ifndef SQSTD_AUXLIB_H_INCLUDED
#define SQSTD_AUXLIB_H_INCLUDED
#include <squirrel.h>
#ifdef __cplusplus
extern "C" {
#endif
SQUIRREL_API void sqstd_seterrorhandlers(HSQUIRRELVM v);
SQUIRREL_API void sqstd_printcallstack(HSQUIRRELVM v);
#ifdef __cplusplus
}
#endif
#endif
