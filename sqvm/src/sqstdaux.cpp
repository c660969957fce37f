// Default error handlers: print the call stack and the locals of each level.
#include <sqstdaux.h>

#include <cstdio>

void sqstd_printcallstack(HSQUIRRELVM v) {
  SQPRINTFUNCTION pf = sq_geterrorfunc(v);
  if (!pf) return;
  SQStackInfos si;
  SQInteger level = 1;
  pf(v, "\nCALLSTACK\n");
  while (SQ_SUCCEEDED(sq_stackinfos(v, level, &si))) {
    pf(v, "*FUNCTION [%s()] %s line [%d]\n", si.funcname ? si.funcname : "unknown",
       si.source ? si.source : "unknown", (int)si.line);
    level++;
  }
  pf(v, "\nLOCALS\n");
  for (level = 0; level < 10; level++) {
    const SQChar *name;
    for (SQUnsignedInteger seq = 0; (name = sq_getlocal(v, (SQUnsignedInteger)level, seq)) != nullptr; seq++) {
      switch (sq_gettype(v, -1)) {
        case OT_NULL: pf(v, "[%s] NULL\n", name); break;
        case OT_INTEGER: { SQInteger i; sq_getinteger(v, -1, &i); pf(v, "[%s] %lld\n", name, (long long)i); break; }
        case OT_FLOAT: { SQFloat f; sq_getfloat(v, -1, &f); pf(v, "[%s] %.14g\n", name, (double)f); break; }
        case OT_USERPOINTER: pf(v, "[%s] USERPOINTER\n", name); break;
        case OT_STRING: { const SQChar *s; sq_getstring(v, -1, &s); pf(v, "[%s] \"%s\"\n", name, s); break; }
        case OT_TABLE: pf(v, "[%s] TABLE\n", name); break;
        case OT_ARRAY: pf(v, "[%s] ARRAY\n", name); break;
        case OT_CLOSURE: pf(v, "[%s] CLOSURE\n", name); break;
        case OT_NATIVECLOSURE: pf(v, "[%s] NATIVECLOSURE\n", name); break;
        case OT_GENERATOR: pf(v, "[%s] GENERATOR\n", name); break;
        case OT_USERDATA: pf(v, "[%s] USERDATA\n", name); break;
        case OT_THREAD: pf(v, "[%s] THREAD\n", name); break;
        case OT_CLASS: pf(v, "[%s] CLASS\n", name); break;
        case OT_INSTANCE: pf(v, "[%s] INSTANCE\n", name); break;
        case OT_WEAKREF: pf(v, "[%s] WEAKREF\n", name); break;
        case OT_BOOL: { SQBool b; sq_getbool(v, -1, &b); pf(v, "[%s] %s\n", name, b ? "true" : "false"); break; }
        default: break;
      }
      sq_pop(v, 1);
    }
  }
}

static SQInteger aux_printerror(HSQUIRRELVM v) {
  SQPRINTFUNCTION pf = sq_geterrorfunc(v);
  if (pf) {
    const SQChar *err = "unknown";
    if (sq_gettop(v) >= 2 && SQ_SUCCEEDED(sq_tostring(v, 2))) {
      sq_getstring(v, -1, &err);
      pf(v, "\nAN ERROR HAS OCCURRED [%s]\n", err);
      sq_pop(v, 1);
    } else {
      pf(v, "\nAN ERROR HAS OCCURRED [%s]\n", err);
    }
    sqstd_printcallstack(v);
  }
  return 0;
}

static void aux_compiler_error(HSQUIRRELVM v, const SQChar *desc, const SQChar *source, SQInteger line,
                               SQInteger column) {
  SQPRINTFUNCTION pf = sq_geterrorfunc(v);
  if (pf) pf(v, "%s line = (%d) column = (%d) : error %s\n", source, (int)line, (int)column, desc);
}

void sqstd_seterrorhandlers(HSQUIRRELVM v) {
  sq_setcompilererrorhandler(v, aux_compiler_error);
  sq_newclosure(v, aux_printerror, 0);
  sq_seterrorhandler(v);
}
