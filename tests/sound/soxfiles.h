#pragma once
// Test files written by independent programs (sox, lame, oggenc, flac), sox's own decoding of them to compare a reader
// with, and byte writers for hand-made headers.  Tests run isolated (tests/isolate): /tmp is private.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "common/files.h"
#include "sound/testsources.h"

namespace soxtest {

using TempDir = TempFolder;

// Runs a program with its output thrown away; its exit status, or -1.
inline int Run(const std::vector<std::string>& argv)
{
  std::string command;
  for (std::string arg : argv) {
    for (size_t at = 0; (at = arg.find('\'', at)) != std::string::npos; at += 4) {
      arg.replace(at, 1, "'\\''");
    }
    command += "'" + arg + "' ";
  }
  int status = std::system((command + ">/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// sox with its dither off (-D): its decoding is the plain conversion.
inline void Sox(std::vector<std::string> args)
{
  args.insert(args.begin(), {"sox", "-D"});
  ASSERT_EQ(Run(args), 0) << ::testing::PrintToString(args);
}

// sox's decoding of `path` (input options `in` for headerless files) as 16-bit values in the internal scale (value *
// 16).
inline std::vector<int> SoxDecode(const TempDir& dir, std::vector<std::string> in, const std::string& path)
{
  std::string out = dir / "soxref.raw";
  in.push_back(path);
  in.insert(in.end(), {"-t", "raw", "-e", "signed-integer", "-b", "16", "-L", out});
  Sox(in);
  std::string bytes = ReadWhole(out);
  std::vector<int> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] =
        static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8) * 16;
  }
  return samples;
}

// Signal-to-noise ratio of `test` against `reference` (scaled by `gain`), in dB, over the length they share.
inline double SnrDb(const std::vector<int>& reference, const std::vector<int>& test, double gain = 1.0)
{
  double signal = 0, noise = 0;
  for (size_t i = 0; i < std::min(reference.size(), test.size()); ++i) {
    double r = reference[i] * gain;
    signal += r * r;
    noise += (test[i] - r) * (test[i] - r);
  }
  return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

// Little- and big-endian fields for hand-made headers.
inline std::string LE(uint32_t v, int bytes)
{
  std::string b;
  for (int i = 0; i < bytes; ++i) {
    b.push_back(static_cast<char>(v >> (8 * i)));
  }
  return b;
}

inline std::string BE(uint32_t v, int bytes)
{
  std::string b = LE(v, bytes);
  return {b.rbegin(), b.rend()};
}

}  // namespace soxtest
