/* System helpers: clock, time, getenv. */
#ifndef SQSTD_SYSTEMLIB_H_INCLUDED
#define SQSTD_SYSTEMLIB_H_INCLUDED
#include <squirrel.h>
#ifdef __cplusplus
extern "C" {
#endif
SQUIRREL_API SQRESULT sqstd_register_systemlib(HSQUIRRELVM v);
#ifdef __cplusplus
}
#endif
#endif
