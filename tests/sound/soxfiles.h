#pragma once
#include <gtest/gtest.h>

#include <algorithm>
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

struct DctLayout {
  uint16_t version = 3;
  uint32_t flags = 0;
  int64_t total = -1;  // -1: the file's real size
  uint32_t extraLength = 5;
  uint32_t notes = 3;
  uint32_t attachment = 0;  // the declared size of a second attachment (flag 4)
  uint8_t channels = 1;
};

inline std::string Dct(const DctLayout& s, const std::string& wav)
{
  std::string b = LE(s.version, 2) + LE(0, 4) + LE(s.flags, 4) + std::string(8, '!');
  if (s.version > 2) {
    b += LE(s.extraLength, 4) + std::string(std::min(s.extraLength, 1000u), '"');
  }
  b += std::string(4, '#');
  for (char i = 'a'; i < 'l'; ++i) {
    b += std::string("\6field") + i;
  }
  b += "$" + LE(s.notes, 4) + std::string(std::min(s.notes, 1000u), 'n');
  if ((s.flags & 4) != 0) {
    b += "\2\5a.doc" + LE(10, 4) + std::string(10, 'a') + "\3big" + LE(s.attachment, 4);
  }
  if (s.version > 0) {
    b += static_cast<char>(s.channels) + std::string(4, '%');
  }
  b += wav;
  return b.replace(2, 4, LE(static_cast<uint32_t>(s.total < 0 ? static_cast<int64_t>(b.size()) : s.total), 4));
}

}  // namespace soxtest
