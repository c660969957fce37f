#pragma once
// The byte stream a saved game keeps the objects in. The module writes its
// objects into an ObjectSaveWriter and reads them back from an
// ObjectSaveReader; the game only stores the bytes. Everything here is
// inline, so both sides share the code without calling across.
//
// Values are little-endian as the machine holds them (the game runs on
// little-endian machines only). A reader that runs past its end or meets a
// value it cannot take sets `failed` with the reason and reads zeros from
// then on, so a damaged stream is refused as a whole.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "platform/math_types.h"

struct ObjectSaveWriter {
  std::string bytes;

  template <typename T>
  void put(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes.append(reinterpret_cast<const char*>(&v), sizeof(T));
  }
  void putVec(const vec4f& v) {
    put(v.x), put(v.y), put(v.z), put(v.w);
  }
  void putName(const char* s) {
    uint8_t n = uint8_t(std::min<size_t>(std::strlen(s), 255));
    put(n);
    bytes.append(s, n);
  }
};

struct ObjectSaveReader {
  const char* at = nullptr;
  const char* end = nullptr;
  bool failed = false;
  char why[160] = "";

  ObjectSaveReader(const char* data, size_t size) : at(data), end(data + size) {}

  void fail(const char* reason) {
    if (!failed) std::snprintf(why, sizeof(why), "%s", reason);
    failed = true;
    at = end;
  }
  template <typename T>
  T get() {
    static_assert(std::is_trivially_copyable_v<T>);
    T v{};
    if (size_t(end - at) < sizeof(T)) {
      fail("the object data ends early");
      return v;
    }
    std::memcpy(&v, at, sizeof(T));
    at += sizeof(T);
    return v;
  }
  // A finite float; anything else fails the stream.
  float getFloat() {
    float v = get<float>();
    if (v != v || v > 3e38f || v < -3e38f) fail("a number in the object data is not finite");
    return failed ? 0.f : v;
  }
  vec4f getVec() {
    float x = getFloat(), y = getFloat(), z = getFloat(), w = getFloat();
    return vec4f(x, y, z, w);
  }
  std::string getName() {
    uint8_t n = get<uint8_t>();
    if (size_t(end - at) < n) {
      fail("the object data ends early");
      return {};
    }
    std::string s(at, n);
    at += n;
    return s;
  }
  bool done() const { return at == end; }
};

// The module's save and load entry points.
using GameobjSaveFn = void (*)(ObjectSaveWriter& out);
// Replaces every object of the world (the player and the spells stay, with
// their state read back); false, with the reason in the reader, when the
// data cannot be used, and the world is then left empty of objects.
using GameobjLoadFn = bool (*)(ObjectSaveReader& in);
