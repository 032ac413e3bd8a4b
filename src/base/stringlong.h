#pragma once
#include <cstdint>

// A growable byte string.  The array is allocated lazily; c_str() is always
// a valid zero-terminated text.  Writers (stringwriters.h) fill it.
class LStringLongTemplate {
public:
  LStringLongTemplate() = default;
  // Allocates the initial capacity at once (first byte zero).
  explicit LStringLongTemplate(uint32_t capacity);
  LStringLongTemplate(const LStringLongTemplate& other);
  LStringLongTemplate(LStringLongTemplate&& other) noexcept;
  LStringLongTemplate& operator=(const LStringLongTemplate& other);
  LStringLongTemplate& operator=(LStringLongTemplate&& other) noexcept;
  ~LStringLongTemplate();

  const char* c_str() const { return data_ != nullptr ? data_ : ""; }
  uint32_t GetLength() const { return length_; }
  uint32_t GetCapacity() const { return capacity_; }

  // Raises the capacity to n bytes, keeping the content; does nothing when
  // the capacity is already n or more.  False when memory ran out (the old
  // content then stays as it was).
  bool GrowToSize(uint32_t n);

  // Appends one byte, growing by a factor of 4 when the array is full so
  // that appends stay amortised constant time.  A byte that cannot be stored
  // (out of memory, 4 GiB reached) is dropped.
  void AddChar(char c);
  // Empties the string without releasing its array.
  void SetLength0();

private:
  char* data_ = nullptr;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
};
