#pragma once
// Shared helpers of the world tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Every progress report made by the code under test, in order (recorded
// through the world's progress hook; tests that reset the hooks put it back
// with record_progress).
struct SplashCall {
  std::string message;
  float progress;
};
extern std::vector<SplashCall> splash_calls;
void record_progress(const char* message, float progress);

// FNV-1a over raw bytes.
inline uint64_t fnv1a(const void* data, size_t n, uint64_t h = 1469598103934665603ull) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; i++) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

// Bitwise float equality that treats +0 and -0 as the same value.
inline bool same_float(float a, float b) {
  if (a == 0.0f && b == 0.0f) return true;
  uint32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return x == y;
}
