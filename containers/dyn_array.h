#pragma once
// A growable array of plain values: a data pointer, a count and a capacity,
// grown by reallocation on the process heap. Bounds violations are fatal.
// Only trivially copyable element types are allowed, because elements are
// moved with memmove and the storage may be handed across module boundaries.
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/log.h"

template <typename T>
struct DynArray {
  static_assert(std::is_trivially_copyable_v<T>, "DynArray holds plain values only");

  T* data = nullptr;
  int count = 0;
  int capacity = 0;

  DynArray() = default;
  DynArray(const DynArray&) = delete;
  DynArray& operator=(const DynArray&) = delete;
  ~DynArray() { std::free(data); }

  int size() const { return count; }
  bool empty() const { return count == 0; }
  T& operator[](int i) { return data[i]; }
  const T& operator[](int i) const { return data[i]; }
  T* begin() { return data; }
  T* end() { return data + count; }
  const T* begin() const { return data; }
  const T* end() const { return data + count; }

  void reserve(int cap) {
    if (cap <= capacity) return;
    void* p = std::realloc(data, size_t(cap) * sizeof(T));
    if (!p) fatal("out of memory (%d elements of %d bytes)", cap, int(sizeof(T)));
    data = static_cast<T*>(p);
    capacity = cap;
  }

  // Grows geometrically so that appending n elements one by one is O(n).
  void ensure(int needed) {
    if (needed <= capacity) return;
    int cap = capacity < 8 ? 8 : capacity;
    while (cap < needed) cap += cap / 2;
    reserve(cap);
  }

  void resize(int n) {
    G_ASSERT(n >= 0);
    ensure(n);
    if (n > count) std::memset(static_cast<void*>(data + count), 0, size_t(n - count) * sizeof(T));
    count = n;
  }

  int push_back(const T& v) {
    ensure(count + 1);
    data[count] = v;
    return count++;
  }

  // Inserts n elements (copied from items, or zeroed when items is null) at pos.
  void insert(int pos, const T* items, int n) {
    G_ASSERT(pos >= 0 && pos <= count);
    G_ASSERT(n >= 0);
    ensure(count + n);
    std::memmove(static_cast<void*>(data + pos + n), data + pos, size_t(count - pos) * sizeof(T));
    if (items)
      std::memcpy(static_cast<void*>(data + pos), items, size_t(n) * sizeof(T));
    else
      std::memset(static_cast<void*>(data + pos), 0, size_t(n) * sizeof(T));
    count += n;
  }
  void insert(int pos, const T& v) { insert(pos, &v, 1); }

  void erase(int pos, int n = 1) {
    G_ASSERT(pos >= 0 && n >= 0 && pos + n <= count);
    std::memmove(static_cast<void*>(data + pos), data + pos + n, size_t(count - pos - n) * sizeof(T));
    count -= n;
  }

  T pop() {
    G_ASSERT(count > 0);
    return data[--count];
  }

  void clear() { count = 0; }
  // Frees the storage as well.
  void reset() {
    std::free(data);
    data = nullptr;
    count = capacity = 0;
  }
};
