#include "audio/icyframer.h"

#include <cassert>
#include <cstring>

namespace {

constexpr char kTitleStart[] = "StreamTitle='";
constexpr char kTitleEnd[] = "';";

}  // namespace

LIcyFramer::LIcyFramer(const char* title)
{
  SetTitle(title);
}

void LIcyFramer::SetTitle(const char* title)
{
  constexpr std::size_t kFrame = sizeof kTitleStart - 1 + sizeof kTitleEnd - 1;
  static_assert(1 + (kFrame + kMaxTitle + 15) / 16 * 16 <= kMaxBlock);
  std::size_t length = std::strlen(title);
  if (length > kMaxTitle)
    length = kMaxTitle;
  char* text = reinterpret_cast<char*>(block_ + 1);
  std::memcpy(text, kTitleStart, sizeof kTitleStart - 1);
  std::memcpy(text + sizeof kTitleStart - 1, title, length);
  std::memcpy(text + sizeof kTitleStart - 1 + length, kTitleEnd, sizeof kTitleEnd - 1);
  const int units = static_cast<int>((kFrame + length + 15) / 16);
  std::memset(text + kFrame + length, 0, static_cast<std::size_t>(units) * 16 - (kFrame + length));
  block_[0] = static_cast<unsigned char>(units);
  blockSize_ = 1 + units * 16;
}

int LIcyFramer::GetMaxGrowth(int audioBytes) const
{
  // The first block may be the title's, the others are one byte each.
  return blockSize_ + audioBytes / kIcyMetaInterval;
}

int LIcyFramer::Frame(unsigned char* buffer, int size, int capacity)
{
  int at = 0;  // next audio byte not yet counted
  while (size - at >= untilBlock_) {
    assert(size + blockSize_ <= capacity);
    (void)capacity;
    at += untilBlock_;
    std::memmove(buffer + at + blockSize_, buffer + at, static_cast<std::size_t>(size - at));
    std::memcpy(buffer + at, block_, static_cast<std::size_t>(blockSize_));
    at += blockSize_;
    size += blockSize_;
    untilBlock_ = kIcyMetaInterval;
    block_[0] = 0;
    blockSize_ = 1;
  }
  untilBlock_ -= size - at;
  return size;
}
