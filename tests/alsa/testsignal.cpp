#include "testsignal.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>

static_assert(std::endian::native == std::endian::little, "file samples are copied as S16_LE");

namespace {

// A looped file is held in memory; anything larger is a mistake in a test.
constexpr std::streamoff kMaxFileBytes = 256LL * 1024 * 1024;

// Parses "X" or "X,Y" into two numbers (Y defaults to X); returns the text
// after them, or nullptr when malformed.
const char* ParsePair(const char* text, double out[2]) {
  char* end = nullptr;
  out[0] = std::strtod(text, &end);
  if (end == text)
    return nullptr;
  out[1] = out[0];
  if (*end == ',') {
    const char* second = end + 1;
    out[1] = std::strtod(second, &end);
    if (end == second)
      return nullptr;
  }
  return end;
}

}  // namespace

int LTestSignal::Parse(const char* description) {
  struct KindEntry {
    const char* prefix;
    int (LTestSignal::*parse)(const char* args);
  };
  static const KindEntry kKinds[] = {
      {"sine:", &LTestSignal::ParseSine},
      {"file:", &LTestSignal::ParseFile},
  };
  if (std::strcmp(description, "silence") == 0) {
    kind_ = Kind::Silence;
    return 0;
  }
  for (const KindEntry& entry : kKinds) {
    size_t length = std::strlen(entry.prefix);
    if (std::strncmp(description, entry.prefix, length) == 0)
      return (this->*entry.parse)(description + length);
  }
  return -EINVAL;
}

int LTestSignal::ParseSine(const char* args) {
  double frequency[kChannels];
  double amplitude[kChannels] = {0.5, 0.5};
  const char* rest = ParsePair(args, frequency);
  if (rest == nullptr)
    return -EINVAL;
  if (*rest == ':')
    rest = ParsePair(rest + 1, amplitude);
  if (rest == nullptr || *rest != '\0')
    return -EINVAL;
  for (unsigned c = 0; c < kChannels; ++c) {
    // Above half the rate the sine would alias into another frequency.
    if (!(frequency[c] > 0 && frequency[c] < kRate / 2.0) || !(amplitude[c] >= 0 && amplitude[c] <= 1))
      return -EINVAL;
    frequency_[c] = frequency[c];
    amplitude_[c] = amplitude[c];
  }
  kind_ = Kind::Sine;
  return 0;
}

int LTestSignal::ParseFile(const char* path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file)
    return -ENOENT;
  std::streamoff size = file.tellg();
  constexpr std::streamoff kFrameBytes = kChannels * sizeof(int16_t);
  if (size < kFrameBytes || size > kMaxFileBytes)
    return -EINVAL;
  size -= size % kFrameBytes;  // a trailing partial frame is not played
  std::vector<int16_t> frames(static_cast<size_t>(size) / sizeof(int16_t));
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(frames.data()), size))
    return -EIO;
  frames_ = std::move(frames);
  kind_ = Kind::File;
  return 0;
}

int16_t LTestSignal::Sample(uint64_t frame, unsigned channel) const {
  switch (kind_) {
    case Kind::Silence:
      break;
    case Kind::Sine: {
      // Reducing frequency * frame modulo the rate keeps the argument of sin
      // within one cycle; the product stays exact in a double for months.
      double cycles = std::fmod(frequency_[channel] * static_cast<double>(frame), kRate);
      double value = amplitude_[channel] * 32767.0 * std::sin(2 * std::numbers::pi * cycles / kRate);
      return static_cast<int16_t>(std::lround(value));
    }
    case Kind::File: {
      uint64_t count = frames_.size() / kChannels;
      return frames_[(frame % count) * kChannels + channel];
    }
  }
  return 0;
}

void LTestSignal::Fill(const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset, uint64_t first,
                       snd_pcm_uframes_t count) const {
  for (unsigned c = 0; c < kChannels; ++c) {
    const snd_pcm_channel_area_t& area = areas[c];
    char* base = static_cast<char*>(area.addr);
    for (snd_pcm_uframes_t i = 0; i < count; ++i) {
      int16_t sample = Sample(first + i, c);
      std::memcpy(base + (area.first + (offset + i) * area.step) / 8, &sample, sizeof sample);
    }
  }
}
