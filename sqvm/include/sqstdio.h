/* File helpers: compile and run script files. */
#ifndef SQSTD_IO_H_INCLUDED
#define SQSTD_IO_H_INCLUDED
#include <squirrel.h>
#ifdef __cplusplus
extern "C" {
#endif
SQUIRREL_API SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar *filename, SQBool printerror);
SQUIRREL_API SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar *filename, SQBool retval, SQBool printerror);
SQUIRREL_API SQRESULT sqstd_register_iolib(HSQUIRRELVM v);
#ifdef __cplusplus
}
#endif
#endif
