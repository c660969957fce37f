// Stand-alone interpreter: `sq file.nut [args]` runs a script with its
// arguments in vargv; without a file it starts an interactive prompt.
#include <sqstdaux.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>
#include <squirrel.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

static void PrintFunc(HSQUIRRELVM, const SQChar *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stdout, fmt, ap);
  va_end(ap);
}

static void ErrorFunc(HSQUIRRELVM, const SQChar *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
}

static void Usage() {
  printf("%s\nusage: sq [-v] [-h] [file.nut [args...]]\n"
         "  -v  print the version and exit\n"
         "  -h  print this help and exit\n"
         "Without a file, sq reads statements from the prompt; end a line with '\\' to continue it.\n",
         SQUIRREL_VERSION);
}

static int RunFile(HSQUIRRELVM v, const char *file, int argc, char **argv) {
  if (SQ_FAILED(sqstd_loadfile(v, file, SQTrue))) {
    const SQChar *err = nullptr;
    sq_getlasterror(v);
    if (SQ_SUCCEEDED(sq_getstring(v, -1, &err)) && strcmp(err, "cannot open the file") == 0)
      fprintf(stderr, "sq: cannot open '%s'\n", file);
    return 1;
  }
  sq_pushroottable(v);
  for (int i = 0; i < argc; i++) sq_pushstring(v, argv[i], -1);
  if (SQ_FAILED(sq_call(v, argc + 1, SQTrue, SQTrue))) return 1;
  SQInteger code = 0;
  if (sq_gettype(v, -1) == OT_INTEGER) sq_getinteger(v, -1, &code);
  return (int)code;
}

static void Interactive(HSQUIRRELVM v) {
  printf("%s\n", SQUIRREL_VERSION);
  std::string buffer;
  char line[4096];
  for (;;) {
    printf(buffer.empty() ? "sq> " : "... ");
    fflush(stdout);
    if (!fgets(line, sizeof line, stdin)) break;
    size_t n = strlen(line);
    while (n && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
    if (n && line[n - 1] == '\\') {
      line[n - 1] = '\n';
      buffer += line;
      continue;
    }
    buffer += line;
    if (buffer == "quit()" || buffer == "exit()") break;
    std::string src = buffer;
    buffer.clear();
    if (src.empty()) continue;
    SQInteger top = sq_gettop(v);
    // An expression prints its value; anything else runs as statements.
    std::string expr = "return (" + src + ")";
    bool isexpr = SQ_SUCCEEDED(sq_compilebuffer(v, expr.c_str(), (SQInteger)expr.size(), "interactive console", SQFalse));
    if (!isexpr && SQ_FAILED(sq_compilebuffer(v, src.c_str(), (SQInteger)src.size(), "interactive console", SQTrue))) {
      sq_settop(v, top);
      continue;
    }
    sq_pushroottable(v);
    if (SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)) && isexpr && sq_gettype(v, -1) != OT_NULL) {
      if (SQ_SUCCEEDED(sq_tostring(v, -1))) {
        const SQChar *s;
        sq_getstring(v, -1, &s);
        printf("%s\n", s);
      }
    }
    sq_settop(v, top);
  }
}

int main(int argc, char **argv) {
  int argi = 1;
  while (argi < argc && argv[argi][0] == '-' && argv[argi][1]) {
    if (!strcmp(argv[argi], "-v")) { printf("%s\n", SQUIRREL_VERSION); return 0; }
    if (!strcmp(argv[argi], "-h") || !strcmp(argv[argi], "--help")) { Usage(); return 0; }
    if (!strcmp(argv[argi], "--")) { argi++; break; }
    fprintf(stderr, "sq: unknown option '%s'\n", argv[argi]);
    Usage();
    return 2;
  }
  HSQUIRRELVM v = sq_open(1024);
  sq_setprintfunc(v, PrintFunc, ErrorFunc);
  sqstd_seterrorhandlers(v);
  sq_pushroottable(v);
  sqstd_register_mathlib(v);
  sqstd_register_stringlib(v);
  sqstd_register_iolib(v);
  sqstd_register_systemlib(v);
  sq_pop(v, 1);
  int rc = 0;
  if (argi < argc) rc = RunFile(v, argv[argi], argc - argi - 1, argv + argi + 1);
  else Interactive(v);
  fflush(stdout);
  sq_close(v);
  return rc;
}
