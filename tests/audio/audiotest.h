#pragma once
// Shared by the audio tests: a sink that keeps what it is given, raw signal
// files for the test cards, the log's text and waiting with a deadline.
#include <atomic>
#include <cmath>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/queuefollow.h"
#include "audio/soundsink.h"
#include "common/files.h"
#include "common/loopback.h"
#include "common/proccount.h"
#include "settings/log.h"

using nettest::Since;

// Polls `done` until it holds or `seconds` pass; the last answer.
template <class F>
bool WaitFor(F done, double seconds = 10)
{
  for (uint32_t start = GetTickCount(); !done(); std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    if (Since(start) > seconds * 1000)
      return done();
  return true;
}

// A listener on its own thread, following one queue and keeping what it is sent.
class LQueueReader {
public:
  explicit LQueueReader(const LAudioQueue& queue)
      : thread_([this, &queue] {
          FollowQueue(stop_, queue, [this](const void* data, unsigned int size) {
            std::lock_guard<std::mutex> guard(mutex_);
            bytes_.append(static_cast<const char*>(data), size);
            return LProcessResult(kProcessDone);
          });
        }) {}
  ~LQueueReader() { Stop(); }
  void Stop()
  {
    stop_.stop = true;
    if (thread_.joinable())
      thread_.join();
  }
  std::string Bytes() const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return bytes_;
  }

private:
  nettest::StopFlag stop_;
  mutable std::mutex mutex_;
  std::string bytes_;
  std::thread thread_;
};

// Keeps every block written and every seek; the test thread may look at it
// while the capture thread writes.
class LCollectSink : public LSoundSinkBase {
public:
  explicit LCollectSink(int rate = 44100, unsigned char channels = 2, std::atomic<bool>* destroyed = nullptr)
      : LSoundSinkBase(rate, channels), destroyed_(destroyed) {}
  ~LCollectSink() override
  {
    if (destroyed_ != nullptr)
      *destroyed_ = true;
  }
  int Write(const int* samples, int frames) override
  {
    std::lock_guard<std::mutex> guard(mutex_);
    writes_.push_back(frames);
    samples_.insert(samples_.end(), samples, samples + static_cast<size_t>(frames) * GetChannels());
    position_ += frames;
    framesWritten_ += frames;
    return frames;
  }
  void Seek(int frame) override
  {
    std::lock_guard<std::mutex> guard(mutex_);
    seeks_.push_back(frame);
    position_ = frame;
  }
  long FramesWritten() const { return framesWritten_.load(); }
  std::vector<int> Writes() const { return Locked(writes_); }
  std::vector<int> Seeks() const { return Locked(seeks_); }
  std::vector<int> Samples() const { return Locked(samples_); }

private:
  std::vector<int> Locked(const std::vector<int>& v) const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return v;
  }
  mutable std::mutex mutex_;
  std::vector<int> writes_, seeks_, samples_;
  std::atomic<long> framesWritten_{0};
  std::atomic<bool>* destroyed_;
};

// A "file:" test card signal: (seconds, amplitude) pieces of a 1 kHz sine,
// stereo S16_LE; amplitude 0 is silence.
inline void WriteSignalFile(const std::string& path, std::initializer_list<std::pair<double, double>> pieces)
{
  std::string bytes;
  long frame = 0;
  for (auto [seconds, amplitude] : pieces)
    for (long i = 0; i < static_cast<long>(seconds * 44100 + 0.5); ++i, ++frame) {
      auto value = static_cast<int16_t>(amplitude * 32767 * std::sin(2 * M_PI * 1000 * static_cast<double>(frame) / 44100));
      int16_t pair[2] = {value, value};
      bytes.append(reinterpret_cast<const char*>(pair), sizeof pair);
    }
  WriteWhole(path, bytes);
}

// Everything the log has written so far.
inline std::string ReadLogText()
{
  std::string text;
  DIR* dir = opendir(gLLog.GetLogFolder());
  while (dirent* entry = dir != nullptr ? readdir(dir) : nullptr)
    if (entry->d_name[0] != '.')
      text += ReadWhole(std::string(gLLog.GetLogFolder()) + "/" + entry->d_name);
  if (dir != nullptr)
    closedir(dir);
  return text;
}

inline size_t CountOf(const std::string& text, const std::string& what)
{
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++count;
  return count;
}
