#pragma once
// Shared helpers of the world tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Every show_splash call made by the code under test, in order.
struct SplashCall {
  std::string message;
  float progress;
};
extern std::vector<SplashCall> splash_calls;

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
