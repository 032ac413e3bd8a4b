#include "base/stringlong.h"

#include <cstdlib>
#include <cstring>
#include <utility>

LStringLongTemplate::LStringLongTemplate(uint32_t capacity)
{
  GrowToSize(capacity);
}

LStringLongTemplate::LStringLongTemplate(const LStringLongTemplate& other)
{
  *this = other;
}

LStringLongTemplate::LStringLongTemplate(LStringLongTemplate&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), length_(std::exchange(other.length_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

LStringLongTemplate& LStringLongTemplate::operator=(const LStringLongTemplate& other)
{
  if (this != &other) {
    SetLength0();
    if (other.length_ > 0 && GrowToSize(other.length_ + 1)) {
      std::memcpy(data_, other.data_, other.length_);
      length_ = other.length_;
      data_[length_] = 0;
    }
  }
  return *this;
}

LStringLongTemplate& LStringLongTemplate::operator=(LStringLongTemplate&& other) noexcept
{
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    length_ = std::exchange(other.length_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

LStringLongTemplate::~LStringLongTemplate()
{
  std::free(data_);
}

bool LStringLongTemplate::GrowToSize(uint32_t n)
{
  if (capacity_ >= n) {
    return true;
  }
  char* grown = static_cast<char*>(std::malloc(n));
  if (grown == nullptr) {
    return false;
  }
  if (length_ > 0) {
    std::memcpy(grown, data_, length_);
  }
  grown[length_] = 0;
  std::free(data_);
  data_ = grown;
  capacity_ = n;
  return true;
}

void LStringLongTemplate::AddChar(char c)
{
  // Room for the byte and the terminator after it.
  if (length_ + 1 >= capacity_) {
    uint32_t grown = capacity_ == 0 ? 260 : (capacity_ > UINT32_MAX / 4 ? UINT32_MAX : capacity_ * 4);
    if (length_ + 1 >= grown || !GrowToSize(grown)) {
      return;
    }
  }
  data_[length_++] = c;
  data_[length_] = 0;
}

void LStringLongTemplate::SetLength0()
{
  length_ = 0;
  if (data_ != nullptr) {
    data_[0] = 0;
  }
}
