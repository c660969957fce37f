#pragma once
// Fixed-capacity strings held by value. Text that does not fit (with its
// terminator) is a fatal assertion, never a silent cut.
#include <cstring>

#include "platform/log.h"

template <int BS>
struct FixedString {
  char str[BS];

  FixedString() { str[0] = 0; }
  FixedString(const char* s) { assign(s); }

  void assign(const char* s) {
    if (!s) s = "";
    int l = int(std::strlen(s));
    G_ASSERT(l<BS);
    std::memcpy(str, s, size_t(l) + 1);
  }
  // Copies exactly len bytes (which may hold no terminator) and terminates.
  void assign(const char* s, int len) {
    G_ASSERT(len >= 0);
    int l = len;
    G_ASSERT(l<BS);
    std::memcpy(str, s, size_t(l));
    str[l] = 0;
  }
  void append(const char* s) {
    int have = int(std::strlen(str));
    int l = have + int(std::strlen(s));
    G_ASSERT(l<BS);
    std::memcpy(str + have, s, size_t(l - have) + 1);
  }

  int length() const { return int(std::strlen(str)); }
  const char* c_str() const { return str; }
  operator const char*() const { return str; }
  static constexpr int capacity() { return BS; }
};

// Paths and other short texts built and returned by value.
using TempString = FixedString<260>;
// The 128-byte lines of logs and names.
using String128 = FixedString<128>;

// Copies src into a buffer of BS bytes, fatal when it does not fit.
template <int BS>
inline void copy_fixed(char (&dst)[BS], const char* src) {
  int l = int(std::strlen(src));
  G_ASSERT(l<BS);
  std::memcpy(dst, src, size_t(l) + 1);
}
