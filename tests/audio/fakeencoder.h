#pragma once
// Stand-ins for the encoder component, installed where the program looks
// for it (tests run in a private /opt): a shell script that passes its
// input straight through makes the ring's contents predictable.  Also a
// byte pattern whose continuity can be checked inside any piece of it.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

class LFakeEncoder {
public:
  // script: the body after "#!/bin/sh"; the arguments are in "$@".
  explicit LFakeEncoder(const std::string& script)
  {
    std::rename(kPath, kAway);
    mkdir("/opt/ostrel/components", 0755);
    mkdir("/opt/ostrel/components/lyrenc", 0755);
    std::ofstream file(kPath, std::ios::trunc);
    file << "#!/bin/sh\n" << script << "\n";
    file.close();
    chmod(kPath, 0755);
  }
  ~LFakeEncoder() { std::rename(kAway, kPath); }
  LFakeEncoder(const LFakeEncoder&) = delete;
  LFakeEncoder& operator=(const LFakeEncoder&) = delete;

private:
  static constexpr const char* kPath = "/opt/ostrel/components/lyrenc/lyrenc";
  static constexpr const char* kAway = "/opt/ostrel/components/lyrenc/lyrenc.real";
};

// Byte number o of the test stream is o mod 251: any run of bytes taken
// from the stream in order continues by +1 (mod 251).
constexpr int kPatternModulus = 251;

inline uint8_t PatternByte(uint64_t offset) { return static_cast<uint8_t>(offset % kPatternModulus); }

// Stereo internal-scale samples that the queue turns into exactly the
// pattern bytes from offset on (frames * 4 bytes).
inline std::vector<int> PatternSamples(uint64_t offset, int frames)
{
  std::vector<int> samples(static_cast<size_t>(frames) * 2);
  for (size_t j = 0; j < samples.size(); ++j) {
    unsigned lo = PatternByte(offset + 2 * j);
    unsigned hi = PatternByte(offset + 2 * j + 1);
    samples[j] = static_cast<int16_t>(lo | hi << 8) * 16;
  }
  return samples;
}

// True when the bytes are one unbroken run of the pattern.
inline bool IsPatternRun(const unsigned char* bytes, int length)
{
  for (int i = 1; i < length; ++i)
    if (bytes[i] != (bytes[i - 1] + 1) % kPatternModulus)
      return false;
  return true;
}
