#pragma once
// A shell script in the encoder component's place (the tests' /opt is private), e.g. "exec cat";
// and a byte pattern whose continuity shows in any piece.
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include "common/files.h"

class LFakeEncoder {
public:
  explicit LFakeEncoder(const std::string& script)
  {
    std::rename(kPath, kAway);
    mkdir("/opt/ostrel/components", 0755);
    mkdir("/opt/ostrel/components/lyrenc", 0755);
    WriteWhole(kPath, "#!/bin/sh\n" + script + "\n");
    chmod(kPath, 0755);
  }
  ~LFakeEncoder() { std::rename(kAway, kPath); }
  LFakeEncoder(const LFakeEncoder&) = delete;
  LFakeEncoder& operator=(const LFakeEncoder&) = delete;

private:
  static constexpr const char* kPath = "/opt/ostrel/components/lyrenc/lyrenc";
  static constexpr const char* kAway = "/opt/ostrel/components/lyrenc/lyrenc.real";
};

inline uint8_t PatternByte(uint64_t offset)
{
  return static_cast<uint8_t>(offset % 251);
}

// Stereo internal-scale samples that the queue turns into the pattern bytes from `offset` on (frames * 4 bytes).
inline std::vector<int> PatternSamples(uint64_t offset, int frames)
{
  std::vector<int> samples(static_cast<size_t>(frames) * 2);
  for (size_t j = 0; j < samples.size(); ++j)
    samples[j] = static_cast<int16_t>(PatternByte(offset + 2 * j) | PatternByte(offset + 2 * j + 1) << 8) * 16;
  return samples;
}

inline bool IsPatternRun(const unsigned char* bytes, int length)
{
  for (int i = 1; i < length; ++i)
    if (bytes[i] != PatternByte(bytes[i - 1] + 1u))
      return false;
  return true;
}
