#pragma once
// Running the real programs in tests: child processes, the daemon (the test
// process is a child subreaper, so the daemon becomes its child), the log
// file, test tones and audio output read back through ffmpeg.
#include "app/testhelpers.h"
#include "audio/mp3check.h"
#include "base/uniquefd.h"
#include "common/files.h"
#include "common/waitfor.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

inline std::string VelorinBinary()
{
  return VELORIN_BINARY_DIR "/velorin";
}
// Where tests/isolate installs the built components, as the server finds them.
inline std::string ComponentPath(const std::string& name)
{
  return "/opt/ostrel/components/" + name + "/" + name;
}

inline bool WaitUntil(const std::function<bool()>& condition, int ms = 60000)
{
  for (auto start = std::chrono::steady_clock::now(); !condition();
       std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if (MsSince(start) > ms)
      return false;
  return true;
}

inline std::vector<std::string> FolderNames(const std::string& folder)
{
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A child with pipes to its standard streams (stdin from a file for
// RunProgram), killed and reaped at the end; beforeExec runs in the child.
class LChild {
public:
  LChild() = default;
  ~LChild()
  {
    if (pid_ > 0)
      ::kill(pid_, SIGKILL);
    Wait();
  }
  LChild(const LChild&) = delete;
  LChild& operator=(const LChild&) = delete;

  bool Start(const std::vector<std::string>& argv, const std::function<void()>& beforeExec = {},
             const std::string& inputFile = "")
  {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
      return false;
    pid_ = fork();
    if (pid_ == 0) {
      signal(SIGPIPE, SIG_DFL);  // the test ignores it; a component must cope itself
      dup2(inputFile.empty() ? in[0] : open(inputFile.c_str(), O_RDONLY), 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      if (beforeExec)
        beforeExec();
      std::vector<char*> args;
      for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
      execv(args[0], (args.push_back(nullptr), args.data()));
      _exit(127);
    }
    for (int fd : {in[0], out[1], err[1]})
      ::close(fd);
    in_ = LUniqueFD(in[1]), out_ = LUniqueFD(out[0]), err_ = LUniqueFD(err[0]);
    return pid_ > 0;
  }

  int In() const { return in_.Get(); }
  int Out() const { return out_.Get(); }
  void CloseIn() { in_ = LUniqueFD(); }
  void CloseOut() { out_ = LUniqueFD(); }
  pid_t Pid() const { return pid_; }

  // Reads both outputs until they close and waits for the exit; the wait status.
  int Collect(std::string& out, std::string& err)
  {
    CloseIn();
    std::thread errors([&] { ReadAll(err_.Get(), err); });
    ReadAll(out_.Get(), out);
    errors.join();
    return Wait();
  }

  int Wait()
  {
    while (pid_ > 0 && waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status_;
  }

private:
  static void ReadAll(int fd, std::string& sink)
  {
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
      sink.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  }

  pid_t pid_ = -1;
  LUniqueFD in_, out_, err_;
  int status_ = -1;
};

struct LRunResult {
  int status = -1;  // wait status
  std::string out, err;
  bool Exited(int code) const { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

inline LRunResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                             const std::function<void()>& beforeExec = {})
{
  char inputFile[] = "/tmp/input.XXXXXX";
  LUniqueFD fd(mkstemp(inputFile));
  EXPECT_TRUE(WriteWhole(inputFile, input));
  LRunResult result;
  LChild child;
  if (child.Start(argv, beforeExec, inputFile))
    result.status = child.Collect(result.out, result.err);
  unlink(inputFile);
  // The components carry the sanitizers too: a report on a failure path
  // must not pass for the expected failure.
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error:"), std::string::npos) << result.err;
  return result;
}

inline LRunResult RunShell(const std::string& command, const std::string& input = "")
{
  return RunProgram({"/bin/sh", "-c", command}, input);
}

// A tone file written by sox, one sine per channel at half scale.
inline std::string SoxTone(const std::string& path, int rate, const std::vector<double>& tones, double seconds,
                           const std::vector<std::string>& format = {"-b", "16"})
{
  std::vector<std::string> argv = {"/usr/bin/sox",       "-n", "-r",
                                   std::to_string(rate), "-c", std::to_string(tones.size())};
  argv.insert(argv.end(), format.begin(), format.end());
  argv.insert(argv.end(), {path, "synth", std::to_string(seconds)});
  for (double f : tones)
    argv.insert(argv.end(), {"sine", std::to_string(f)});
  argv.insert(argv.end(), {"vol", "0.5"});
  EXPECT_TRUE(RunProgram(argv).Exited(0));
  return path;
}

// The release package as the package target makes it, unpacked in work
// (once); the unpacked top folder.
inline std::string UnpackedRelease(const std::string& work)
{
  if (!Exists(work + "/unpacked")) {
    LRunResult made = RunShell("cd " + work +
                               " && cpack -G TGZ --config " VELORIN_BINARY_DIR
                               "/CPackConfig.cmake >/dev/null && mkdir unpacked && tar xzf velorin-*-Linux.tar.gz "
                               "-C unpacked");
    EXPECT_TRUE(made.Exited(0)) << made.err;
  }
  return work + "/unpacked/" + FolderNames(work + "/unpacked").at(0);
}

// Interleaved 16-bit audio.
struct LAudio {
  int rate = 0, channels = 0;
  std::vector<int16_t> samples;
  size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
  std::vector<int16_t> Channel(int c) const
  {
    std::vector<int16_t> x;
    for (size_t i = static_cast<size_t>(c); i < samples.size(); i += static_cast<size_t>(channels))
      x.push_back(samples[i]);
    return x;
  }
};

// One sine per channel (frequency 0: silence).
inline LAudio Tone(int rate, size_t frames, const std::vector<double>& frequencies)
{
  LAudio audio{rate, static_cast<int>(frequencies.size()), {}};
  for (size_t i = 0; i < frames; ++i)
    for (double f : frequencies)
      audio.samples.push_back(static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * f * double(i) / rate))));
  return audio;
}

inline std::string PcmBytes(const LAudio& audio, bool bigEndian = false)
{
  std::string bytes;
  for (int16_t s : audio.samples) {
    auto u = static_cast<uint16_t>(s);
    bytes += static_cast<char>(bigEndian ? u >> 8 : u & 0xFF);
    bytes += static_cast<char>(bigEndian ? u & 0xFF : u >> 8);
  }
  return bytes;
}

inline std::vector<int16_t> SamplesFromLE(const std::string& b)
{
  std::vector<int16_t> samples(b.size() / 2);
  std::memcpy(samples.data(), b.data(), samples.size() * 2);
  return samples;
}

// Rate, channels and bit rate from ffprobe, samples from ffmpeg.
struct LProbe {
  int rate = 0, channels = 0;
  long bitRate = 0;
};

inline bool ProbeStream(const std::string& path, LProbe& probe)
{
  const std::string out = CommandOutput("ffprobe -v error -select_streams a:0 -show_entries "
                                        "stream=sample_rate,channels,bit_rate -of csv=p=0 '" +
                                        path + "'");
  std::sscanf(out.c_str(), "%d,%d,%ld", &probe.rate, &probe.channels, &probe.bitRate);
  return probe.rate > 0 && probe.channels > 0;
}

inline bool DecodeWithFfmpeg(const std::string& path, LAudio& audio)
{
  LProbe probe;
  if (!ProbeStream(path, probe))
    return false;
  LRunResult r = RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
  audio = {probe.rate, probe.channels, SamplesFromLE(r.out)};
  return r.Exited(0);
}

// Frequency and level of a steady tone over the middle of the signal (coded
// audio carries delay and fades).
inline double ToneFrequency(const LAudio& audio, int channel)
{
  const std::vector<int16_t> x = audio.Channel(channel);
  return ToneFrequency(x, audio.rate, x.size() / 5, x.size() - x.size() / 5);
}

inline double Rms(const LAudio& audio, int channel)
{
  const std::vector<int16_t> x = audio.Channel(channel);
  return Rms(x, x.size() / 5, x.size() - x.size() / 5);
}

// A WAV file as the decoders must write it: exactly the 44-byte canonical
// header (16-bit PCM, consistent sizes) and data to the end.  why says
// what is wrong.
inline bool ReadCanonicalWav(const std::string& path, LAudio& audio, std::string& why)
{
  const std::string b = ReadWhole(path);
  auto le = [&b](size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
      value = value << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
    return value;
  };
  if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 8, "WAVEfmt ") != 0 ||
      b.compare(36, 4, "data") != 0)
    return why = "not a canonical RIFF/WAVE layout", false;
  const uint32_t channels = le(22, 2), rate = le(24, 4);
  if (le(4, 4) != b.size() - 8 || le(40, 4) != b.size() - 44)
    return why = "sizes do not match the file", false;
  if (le(16, 4) != 16 || le(20, 2) != 1 || le(34, 2) != 16 || channels == 0 || le(32, 2) != 2 * channels ||
      le(28, 4) != rate * 2 * channels || (b.size() - 44) % (2 * channels) != 0)
    return why = "not a consistent 16-bit PCM format", false;
  audio = {static_cast<int>(rate), static_cast<int>(channels), SamplesFromLE(b.substr(44))};
  return true;
}

// Runs the executable and waits for the launcher; the environment is the
// test's with DISPLAY removed or unusable.
inline LRunResult RunVelorin(const std::vector<std::string>& args, bool display)
{
  std::string line = std::string("exec env -u DISPLAY ") + (display ? "DISPLAY=:97 " : "") + VelorinBinary();
  for (const auto& a : args)
    line += " '" + a + "'";
  return RunShell(line);
}

// /proc/<pid>/stat after the command name: [0] pid, [1] comm, [2] state,
// [3] ppid, [4] pgrp, [5] session, [6] tty_nr.
inline std::vector<std::string> ProcStatFields(pid_t pid)
{
  std::string line = ReadWhole("/proc/" + std::to_string(pid) + "/stat");
  std::vector<std::string> fields;
  auto open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos)
    return fields;
  fields = {line.substr(0, open - 1), line.substr(open + 1, close - open - 1)};
  std::istringstream rest(line.substr(close + 2));
  for (std::string field; rest >> field;)
    fields.push_back(field);
  return fields;
}

class DaemonGuard {
public:
  // name: the daemons' command name ("velorind" for the installed copy).
  explicit DaemonGuard(std::string name = "velorin") : name_(std::move(name)) { prctl(PR_SET_CHILD_SUBREAPER, 1); }
  ~DaemonGuard() { KillAll(); }

  // Living children of this process with the daemons' name.
  std::vector<pid_t> Daemons() const
  {
    std::vector<pid_t> found;
    for (const std::string& entry : FolderNames("/proc")) {
      pid_t pid = static_cast<pid_t>(std::atoi(entry.c_str()));
      auto f = pid > 0 ? ProcStatFields(pid) : std::vector<std::string>{};
      if (f.size() > 3 && f[1] == name_ && f[2] != "Z" && std::atoi(f[3].c_str()) == getpid())
        found.push_back(pid);
    }
    return found;
  }

  // The one daemon, waiting up to ms for it; -1 if none.
  pid_t Daemon(int ms = 10000) const
  {
    std::vector<pid_t> d;
    WaitUntil([&] { return (d = Daemons()).size() == 1; }, ms);
    return d.size() == 1 ? d[0] : -1;
  }

  // Waits up to ms for the child to end; its wait status, or -1.
  int WaitExit(pid_t pid, int ms) const
  {
    int status = -1;
    WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, ms);
    return status;
  }

  void KillAll() const
  {
    for (pid_t pid : Daemons()) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

private:
  std::string name_;
};

// Points the web server at a free port before a daemon starts.
inline void UseFreeWebPort()
{
  LSettingSetInt("WebServer", "Port", PickFreePort());
}

// The lines of the log files ("hh:mm:ss text", CR LF removed), and their texts.
inline std::vector<std::string> LogFileLines()
{
  std::vector<std::string> lines;
  const std::string folder = "/opt/ostrel/velorin/etc/Logs";
  for (const std::string& name : FolderNames(folder)) {
    std::ifstream in(folder + "/" + name);
    for (std::string line; name.find("Velorin Log.txt") != std::string::npos && std::getline(in, line);)
      lines.push_back(line.substr(0, line.find('\r')));
  }
  return lines;
}

inline std::vector<std::string> LogFileTexts()
{
  std::vector<std::string> texts;
  for (const auto& line : LogFileLines())
    texts.push_back(line.size() > 9 ? line.substr(9) : "");
  return texts;
}

inline bool LogHas(const std::string& text)
{
  auto texts = LogFileTexts();
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}
