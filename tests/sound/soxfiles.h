#pragma once
// Test files written by independent programs (sox, oggenc, flac) and the
// tools to compare a reader's output with sox's own decoding of the same
// file.  Tests run isolated (tests/isolate): /tmp is private to them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "audio/soundsource.h"

namespace soxtest {

// A private folder, removed with everything in it.
class TempDir {
public:
  TempDir()
  {
    char pattern[] = "/tmp/formats.XXXXXX";
    path_ = mkdtemp(pattern) != nullptr ? pattern : "";
  }
  ~TempDir()
  {
    std::error_code ignored;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ignored);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// Runs a program with its output thrown away; its exit status, or -1.
inline int Run(const std::vector<std::string>& argv)
{
  // The child's freopen would write out what the parent has buffered.
  fflush(stdout);
  pid_t pid = fork();
  if (pid < 0) {
    return -1;
  }
  if (pid == 0) {
    FILE* null = freopen("/dev/null", "w", stdout);
    null = freopen("/dev/null", "w", stderr);
    (void)null;
    std::vector<char*> args;
    for (const std::string& a : argv) {
      args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

// sox with its dither switched off (-D), so that its decoding is the plain
// conversion of the stored samples.
inline void Sox(std::vector<std::string> args)
{
  args.insert(args.begin(), {"sox", "-D"});
  std::string line;
  for (const std::string& a : args) {
    line += a + " ";
  }
  ASSERT_EQ(Run(args), 0) << line;
}

inline std::vector<unsigned char> ReadBytes(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// sox's decoding of `path` (with the input options `in`, for headerless
// files) as 16-bit values in the internal scale (value * 16).
inline std::vector<int> SoxDecode(const TempDir& dir, std::vector<std::string> in, const std::string& path)
{
  std::string out = dir / "soxref.raw";
  in.push_back(path);
  for (const char* a : {"-t", "raw", "-e", "signed-integer", "-b", "16", "-L"}) {
    in.push_back(a);
  }
  in.push_back(out);
  Sox(in);
  std::vector<unsigned char> bytes = ReadBytes(out);
  std::vector<int> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) * 16;
  }
  return samples;
}

// Every sample of a source, read up to its end in blocks of `chunk`.
inline std::vector<int> ReadToEnd(LSoundSource& source, int chunk = 1000)
{
  std::vector<int> all;
  std::vector<int> buffer(static_cast<size_t>(chunk) * source.GetChannels());
  for (;;) {
    int n = source.Read(buffer.data(), chunk);
    if (n <= 0) {
      break;
    }
    all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(n) * source.GetChannels());
  }
  return all;
}

// Signal-to-noise ratio of `test` against `reference` (scaled by `gain`
// first), in dB, over the length they share.
inline double SnrDb(const std::vector<int>& reference, const std::vector<int>& test, double gain = 1.0)
{
  size_t n = std::min(reference.size(), test.size());
  double signal = 0;
  double noise = 0;
  for (size_t i = 0; i < n; ++i) {
    double r = reference[i] * gain;
    signal += r * r;
    noise += (test[i] - r) * (test[i] - r);
  }
  return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

// The first index where a and b differ, or -1.
inline long FirstDifference(const std::vector<int>& a, const std::vector<int>& b)
{
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) {
      return static_cast<long>(i);
    }
  }
  return a.size() == b.size() ? -1 : static_cast<long>(n);
}

// Little-endian and big-endian field writers for hand-made headers.
inline void PutLE(std::vector<unsigned char>& b, uint32_t v, int bytes)
{
  for (int i = 0; i < bytes; ++i) {
    b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
}

inline void PutBE(std::vector<unsigned char>& b, uint32_t v, int bytes)
{
  for (int i = bytes - 1; i >= 0; --i) {
    b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
}

inline void PutText(std::vector<unsigned char>& b, const char* text)
{
  for (; *text != 0; ++text) {
    b.push_back(static_cast<unsigned char>(*text));
  }
}

} // namespace soxtest
