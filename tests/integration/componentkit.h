#pragma once
// Tools for the tests of the component programs: child processes with
// pipes, temporary folders, test tones, reference decoding through ffmpeg
// and a strict reader of the WAV files the decoders write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace componentkit {

// Where tests/isolate installs the built components, as the server finds them.
inline std::string ComponentPath(const std::string& name) {
  return "/opt/ostrel/components/" + name + "/" + name;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class LTempDir {
public:
  LTempDir() {
    char pattern[] = "/tmp/components.XXXXXX";
    path_ = mkdtemp(pattern) != nullptr ? pattern : "";
  }
  ~LTempDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  LTempDir(const LTempDir&) = delete;
  LTempDir& operator=(const LTempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

// A child process with pipes to its standard streams.  The destructor
// kills a child that is still running and reaps it.
class LChild {
public:
  LChild() = default;
  ~LChild() {
    CloseIn();
    CloseFd(out_);
    CloseFd(err_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  LChild(const LChild&) = delete;
  LChild& operator=(const LChild&) = delete;

  // beforeExec runs in the child (resource limits and the like).
  bool Start(const std::vector<std::string>& argv, std::function<void()> beforeExec = {}) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      // The test ignores SIGPIPE; a component must cope with it itself.
      signal(SIGPIPE, SIG_DFL);
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      if (beforeExec) beforeExec();
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    return true;
  }

  // The command line as the server runs it: through /bin/sh -c.
  bool StartShell(const std::string& command, std::function<void()> beforeExec = {}) {
    return Start({"/bin/sh", "-c", command}, std::move(beforeExec));
  }

  int In() const { return in_; }
  int Out() const { return out_; }
  void CloseIn() { CloseFd(in_); }
  void CloseOut() { CloseFd(out_); }
  pid_t Pid() const { return pid_; }

  // Sends input, collects both outputs until they close, waits for the
  // exit and returns the wait status; -1 if the child outlives timeoutMs.
  int Communicate(const std::string& input, std::string& out, std::string& err, int timeoutMs = 120000) {
    size_t sent = 0;
    if (input.empty()) CloseIn();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out_ >= 0 || err_ >= 0) {
      pollfd fds[3];
      int count = 0;
      if (in_ >= 0) fds[count++] = {in_, POLLOUT, 0};
      if (out_ >= 0) fds[count++] = {out_, POLLIN, 0};
      if (err_ >= 0) fds[count++] = {err_, POLLIN, 0};
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return -1;
      if (poll(fds, static_cast<nfds_t>(count), static_cast<int>(left.count())) < 0 && errno != EINTR) return -1;
      for (int i = 0; i < count; ++i) {
        if (fds[i].revents == 0) continue;
        if (fds[i].fd == in_) {
          ssize_t n = ::write(in_, input.data() + sent, std::min<size_t>(input.size() - sent, 65536));
          if (n > 0) sent += static_cast<size_t>(n);
          if (n < 0 || sent == input.size()) CloseIn();
        } else {
          std::string& sink = fds[i].fd == out_ ? out : err;
          int& fd = fds[i].fd == out_ ? out_ : err_;
          char buffer[65536];
          ssize_t n = ::read(fd, buffer, sizeof buffer);
          if (n > 0) {
            sink.append(buffer, static_cast<size_t>(n));
          } else if (n == 0 || errno != EINTR) {
            CloseFd(fd);
          }
        }
      }
    }
    CloseIn();
    return Wait();
  }

  int Wait() {
    if (pid_ <= 0) return status_;
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status_;
  }

private:
  static void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  int status_ = -1;
};

struct LRunResult {
  int status = -1;  // wait status
  std::string out;
  std::string err;
  bool Exited(int code) const { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code; }
  bool FailedCleanly() const { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0; }
};

inline LRunResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                      std::function<void()> beforeExec = {}) {
  LRunResult result;
  LChild child;
  if (!child.Start(argv, std::move(beforeExec))) return result;
  result.status = child.Communicate(input, result.out, result.err);
  // In sanitizer builds the components carry the sanitizers too; a report
  // on a failure path would otherwise pass for the expected failure.
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error:"), std::string::npos) << result.err;
  return result;
}

inline LRunResult RunShell(const std::string& command, const std::string& input = "") {
  return RunProgram({"/bin/sh", "-c", command}, input);
}

// Interleaved 16-bit audio.
struct LAudio {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;
  size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
  std::vector<double> Channel(int c) const {
    std::vector<double> x;
    auto step = static_cast<size_t>(channels);
    for (size_t i = static_cast<size_t>(c); i < samples.size(); i += step) x.push_back(samples[i]);
    return x;
  }
};

// One sine per channel (frequency 0: silence).
inline LAudio Tone(int rate, size_t frames, const std::vector<double>& frequencies, double amplitude = 10000) {
  LAudio audio;
  audio.rate = rate;
  audio.channels = static_cast<int>(frequencies.size());
  for (size_t i = 0; i < frames; ++i) {
    for (double f : frequencies) {
      audio.samples.push_back(static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * f * double(i) / rate))));
    }
  }
  return audio;
}

inline std::string PcmBytes(const LAudio& audio, bool bigEndian = false) {
  std::string bytes;
  for (int16_t s : audio.samples) {
    auto u = static_cast<uint16_t>(s);
    char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    bytes += bigEndian ? hi : lo;
    bytes += bigEndian ? lo : hi;
  }
  return bytes;
}

inline std::vector<int16_t> SamplesFromLE(const std::string& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return samples;
}

// The stream's rate, channel count and bit rate from ffprobe, and its
// samples as ffmpeg decodes them: an independent reading of our output.
struct LProbe {
  int rate = 0;
  int channels = 0;
  long bitRate = 0;
};

inline bool ProbeStream(const std::string& path, LProbe& probe) {
  LRunResult r = RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                      "stream=sample_rate,channels,bit_rate", "-of", "default=noprint_wrappers=1", path});
  if (!r.Exited(0)) return false;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "sample_rate") probe.rate = std::atoi(value.c_str());
    if (key == "channels") probe.channels = std::atoi(value.c_str());
    if (key == "bit_rate") probe.bitRate = std::atol(value.c_str());
  }
  return probe.rate > 0 && probe.channels > 0;
}

inline bool DecodeWithFfmpeg(const std::string& path, LAudio& audio) {
  LProbe probe;
  if (!ProbeStream(path, probe)) return false;
  LRunResult r = RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
  if (!r.Exited(0)) return false;
  audio.rate = probe.rate;
  audio.channels = probe.channels;
  audio.samples = SamplesFromLE(r.out);
  return true;
}

// Frequency of a steady tone from its zero crossings, over the middle of
// the signal (the start and end of coded audio carry delay and fades).
inline double ToneFrequency(const LAudio& audio, int channel) {
  std::vector<double> x = audio.Channel(channel);
  size_t from = x.size() / 5, to = x.size() - x.size() / 5;
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if ((x[i - 1] < 0) != (x[i] < 0)) ++crossings;
  }
  return crossings / 2.0 / (double(to - from) / audio.rate);
}

inline double Rms(const LAudio& audio, int channel) {
  std::vector<double> x = audio.Channel(channel);
  size_t from = x.size() / 5, to = x.size() - x.size() / 5;
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

inline uint32_t LE32(const std::string& b, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
  return value;
}
inline unsigned LE16(const std::string& b, size_t at) {
  return static_cast<unsigned>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// Reads a WAV file the way the decoders must write it: exactly a 44-byte
// canonical header (PCM, 16 bits, consistent rates and sizes) and data to
// the end of the file.  why says what is wrong.
inline bool ReadCanonicalWav(const std::string& path, LAudio& audio, std::string& why) {
  std::string b = ReadWholeFile(path);
  if (b.size() < 44) return why = "shorter than a header", false;
  if (b.compare(0, 4, "RIFF") != 0 || b.compare(8, 8, "WAVEfmt ") != 0 || b.compare(36, 4, "data") != 0)
    return why = "not a canonical RIFF/WAVE layout", false;
  if (LE32(b, 4) != b.size() - 8) return why = "RIFF size does not match the file", false;
  if (LE32(b, 16) != 16 || LE16(b, 20) != 1 || LE16(b, 34) != 16) return why = "not a 16-bit PCM format chunk", false;
  unsigned channels = LE16(b, 22);
  uint32_t rate = LE32(b, 24);
  if (channels == 0 || LE16(b, 32) != 2 * channels || LE32(b, 28) != rate * 2 * channels)
    return why = "block align or byte rate inconsistent", false;
  if (LE32(b, 40) != b.size() - 44 || (b.size() - 44) % (2 * channels) != 0)
    return why = "data size does not match the file", false;
  audio.rate = static_cast<int>(rate);
  audio.channels = static_cast<int>(channels);
  audio.samples = SamplesFromLE(b.substr(44));
  return true;
}

// Ignores SIGPIPE in the test program, so that writing to a component
// that has exited fails instead of killing the test.
inline void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

}  // namespace componentkit
