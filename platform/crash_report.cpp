// The fatal-signal handler and the crash file. Inside the handler nothing
// allocates: the report is assembled in a static buffer with the small
// writer below and written with write(2).
#include "platform/crash_report.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/user_dirs.h"


namespace {
constexpr int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// The handler's own stack: a runaway recursion leaves no room on the main one.
constexpr size_t HANDLER_STACK_BYTES = 256 * 1024;
constexpr int MAX_FRAMES = 48;

struct ModuleRange {
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<int> rebuild{-1};
  char file[256] = {0};
} module_range;
std::atomic<int64_t> current_step{0};
std::atomic<uint64_t> run_seed{0};
std::atomic<int> record_fd{-1};
char record_path[512] = {0};
char crash_dir[1024] = {0};
char crash_path[1100] = {0};

// Appends text and numbers to a fixed buffer; never allocates.
struct ReportText {
  char buf[24 * 1024];
  size_t n = 0;
  void put(const char* s) {
    while (s && *s && n + 1 < sizeof(buf)) buf[n++] = *s++;
    buf[n] = 0;
  }
  void num(uint64_t v, int base = 10) {
    char tmp[24];
    int i = 0;
    do {
      int d = int(v % unsigned(base));
      tmp[i++] = char(d < 10 ? '0' + d : 'a' + d - 10);
      v /= unsigned(base);
    } while (v && i < int(sizeof(tmp)));
    if (base == 16) put("0x");
    while (i > 0 && n + 1 < sizeof(buf)) buf[n++] = tmp[--i];
    buf[n] = 0;
  }
  void snum(int64_t v) {
    if (v < 0) {
      put("-");
      num(uint64_t(-(v + 1)) + 1);
    } else {
      num(uint64_t(v));
    }
  }
} report;

const char* signal_name(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
  }
  return "signal";
}

const char* signal_meaning(int sig) {
  switch (sig) {
    case SIGSEGV: return "invalid memory access";
    case SIGBUS: return "bus error";
    case SIGFPE: return "arithmetic error";
    case SIGILL: return "illegal instruction";
    case SIGABRT: return "abort";
  }
  return "";
}

bool in_module(uintptr_t pc) {
  uintptr_t b = module_range.begin.load(), e = module_range.end.load();
  return b && pc >= b && pc < e;
}

const char* base_name(const char* path) {
  const char* slash = path ? std::strrchr(path, '/') : nullptr;
  return slash ? slash + 1 : (path ? path : "?");
}

uintptr_t faulting_pc(void* context) {
#if defined(__x86_64__)
  return uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
  (void)context;
  return 0;
#endif
}

// "gameobj.so+0x1a2b" for module code, "file(symbol+0x12)" elsewhere.
void put_place(uintptr_t pc) {
  if (in_module(pc)) {
    report.put(module_range.file);
    report.put("+");
    report.num(pc - module_range.begin.load(), 16);
  }
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(pc), &info) && info.dli_fname) {
    if (!in_module(pc)) {
      report.put(base_name(info.dli_fname));
      report.put("+");
      report.num(pc - uintptr_t(info.dli_fbase), 16);
    }
    if (info.dli_sname) {
      report.put(" (");
      report.put(info.dli_sname);
      report.put("+");
      report.num(pc - uintptr_t(info.dli_saddr), 16);
      report.put(")");
    }
  } else if (!in_module(pc)) {
    report.num(pc, 16);
  }
}

// The innermost frame of module code, or 0 when the module is not on the
// stack; an abort called from the module counts as a crash in it.
uintptr_t first_module_frame(uintptr_t pc, void* const* frames, int count) {
  if (in_module(pc)) return pc;
  for (int i = 0; i < count; i++)
    if (in_module(uintptr_t(frames[i]))) return uintptr_t(frames[i]);
  return 0;
}

void put_backtrace(uintptr_t pc, void* const* frames, int count) {
  report.put("backtrace:\n");
  // The handler's own frames come first; the listing starts at the fault.
  int start = 0;
  for (int i = 0; i < count; i++)
    if (uintptr_t(frames[i]) == pc) {
      start = i;
      break;
    }
  for (int i = start, k = 0; i < count; i++, k++) {
    report.put("  #");
    report.num(uint64_t(k));
    report.put(" ");
    put_place(uintptr_t(frames[i]));
    report.put("\n");
  }
}

void build_report(int sig, const siginfo_t* info, void* context) {
  uintptr_t pc = faulting_pc(context);
  void* frames[MAX_FRAMES];
  int count = backtrace(frames, MAX_FRAMES);
  uintptr_t module_pc = first_module_frame(pc, frames, count);
  report.n = 0;
  report.put("=== Tolvane crashed: ");
  report.put(signal_name(sig));
  report.put(" (");
  report.put(signal_meaning(sig));
  if (sig == SIGSEGV || sig == SIGBUS) {
    report.put(" at address ");
    report.num(uintptr_t(info ? info->si_addr : nullptr), 16);
  }
  report.put(")");
  if (module_pc) {
    report.put(" in the game-object module ");
    report.put(module_range.file);
    report.put(module_range.rebuild.load() > 0 ? " (rebuilt while running)" : "");
  }
  report.put("\nsignal: ");
  report.put(signal_name(sig));
  report.put("\nin_module: ");
  report.put(module_pc ? "yes" : "no");
  report.put("\nmodule: ");
  report.put(module_range.file[0] ? module_range.file : "-");
  report.put("\nmodule_rebuild: ");
  report.snum(module_range.rebuild.load());
  if (module_pc) {
    report.put("\nat: ");
    put_place(module_pc);
  }
  report.put("\nseed: ");
  report.num(run_seed.load());
  report.put("\nstep: ");
  report.snum(current_step.load());
  report.put("\nrecord: ");
  report.put(record_path[0] ? record_path : "-");
  report.put("\n");
  put_backtrace(pc, frames, count);
}

void write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) return;
    p += w;
    n -= size_t(w);
  }
}

// Makes the folders of the crash path one by one (mkdir is safe here).
void make_crash_dir() {
  char partial[sizeof(crash_dir)];
  for (size_t i = 1; crash_dir[i]; i++) {
    if (crash_dir[i] != '/') continue;
    std::memcpy(partial, crash_dir, i);
    partial[i] = 0;
    mkdir(partial, 0755);
  }
}

void on_fatal_signal(int sig, siginfo_t* info, void* context) {
  // The record is closed first: everything up to this step is on disk, so
  // its replay runs into the same crash.
  int fd = record_fd.exchange(-1);
  if (fd >= 0) close(fd);
  build_report(sig, info, context);
  write_all(STDERR_FILENO, report.buf, report.n);
  if (crash_path[0]) {
    make_crash_dir();
    int out = open(crash_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out >= 0) {
      write_all(out, report.buf, report.n);
      close(out);
      const char* saved = "crash report written to ";
      write_all(STDERR_FILENO, saved, std::strlen(saved));
      write_all(STDERR_FILENO, crash_path, std::strlen(crash_path));
      write_all(STDERR_FILENO, "\n", 1);
    }
  }
  // The default action ends the process as the signal would have.
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

std::string crash_report_dir() { return user_data_dir(); }

void install_crash_handler() {
  std::string dir = crash_report_dir();
  std::snprintf(crash_dir, sizeof(crash_dir), "%s", dir.c_str());
  std::snprintf(crash_path, sizeof(crash_path), "%s%s", crash_dir, CRASH_FILE_NAME);
  // backtrace() loads its unwinder on first use; that must not happen in
  // the handler.
  void* warm[2];
  backtrace(warm, 2);
  static char* handler_stack = static_cast<char*>(std::malloc(HANDLER_STACK_BYTES));
  stack_t ss{};
  ss.ss_sp = handler_stack;
  ss.ss_size = HANDLER_STACK_BYTES;
  if (handler_stack) sigaltstack(&ss, nullptr);
  struct sigaction sa{};
  sa.sa_sigaction = on_fatal_signal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int sig : CRASH_SIGNALS) sigaction(sig, &sa, nullptr);
}

void crash_note_module(uintptr_t begin, uintptr_t end, int rebuild, const char* file) {
  module_range.begin = 0;  // never a half-updated range
  std::snprintf(module_range.file, sizeof(module_range.file), "%s", file ? file : "");
  module_range.rebuild = rebuild;
  module_range.end = end;
  module_range.begin = begin;
}

void crash_note_step(int64_t step) { current_step = step; }
void crash_note_seed(uint64_t seed) { run_seed = seed; }

void crash_note_record(int fd, const char* path) {
  record_fd = -1;
  std::snprintf(record_path, sizeof(record_path), "%s", fd >= 0 && path ? path : "");
  record_fd = fd;
}

bool parse_crash_report(const std::string& text, LastCrash& out) {
  out = LastCrash();
  out.report = text;
  std::istringstream in(text);
  std::string line;
  bool any = false;
  while (std::getline(in, line)) {
    size_t colon = line.find(": ");
    if (colon == std::string::npos || line[0] == ' ') continue;
    std::string key = line.substr(0, colon), value = line.substr(colon + 2);
    if (key == "signal") out.signal = value, any = true;
    else if (key == "in_module") out.in_module = value == "yes";
    else if (key == "module") out.module_file = value;
    else if (key == "module_rebuild") out.module_rebuild = std::atoi(value.c_str());
  }
  if (!out.in_module) out.module_rebuild = -1;
  return any;
}

bool take_last_crash(LastCrash& out) {
  std::string dir = crash_report_dir();
  std::string path = dir + CRASH_FILE_NAME;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  in.close();
  std::rename(path.c_str(), (dir + CRASH_SEEN_FILE_NAME).c_str());
  if (!parse_crash_report(ss.str(), out)) out.signal = "unknown";
  return true;
}
