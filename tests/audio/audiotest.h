#pragma once
// Shared by the audio tests: a sink that keeps what it is given, test card signals, the log.
#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/queuefollow.h"
#include "audio/soundsink.h"
#include "common/files.h"
#include "common/logtext.h"
#include "common/loopback.h"
#include "common/proccount.h"
#include "common/waitfor.h"
#include "settings/log.h"

using nettest::Since;

template <class F>
bool WaitFor(F done, double seconds = 10)
{
  return Eventually(done, static_cast<int>(seconds * 1000));
}

class LQueueReader {
public:
  explicit LQueueReader(const LAudioQueue& queue)
      : thread_([this, &queue] {
          FollowQueue(stop_, queue, [this](const void* data, unsigned int size) {
            std::lock_guard<std::mutex> guard(mutex_);
            bytes_.append(static_cast<const char*>(data), size);
            return LProcessResult(kProcessDone);
          });
        })
  {
  }
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

// Keeps every block written and every seek, failing writes from the `failAt`th on; the test thread may look at it
// while the capture thread writes.
class LCollectSink : public LSoundSinkBase {
public:
  explicit LCollectSink(int rate = 44100, unsigned char channels = 2, std::atomic<bool>* destroyed = nullptr,
                        size_t failAt = SIZE_MAX)
      : LSoundSinkBase(rate, channels), destroyed_(destroyed), failAt_(failAt)
  {
  }
  ~LCollectSink() override
  {
    if (destroyed_ != nullptr)
      *destroyed_ = true;
  }
  int Write(const int* samples, int frames) override
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (writes_.size() >= failAt_)
      return SetError(), -1;
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
  std::vector<int> Get(std::vector<int> LCollectSink::*what) const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return this->*what;
  }
  std::vector<int> writes_, seeks_, samples_;

private:
  mutable std::mutex mutex_;
  std::atomic<long> framesWritten_{0};
  std::atomic<bool>* destroyed_;
  size_t failAt_;
};

// A "file:" test card signal: (seconds, amplitude) pieces of a 1 kHz sine, stereo S16_LE; amplitude 0 is silence.
inline void WriteSignalFile(const std::string& path, std::initializer_list<std::pair<double, double>> pieces)
{
  std::vector<int16_t> samples;
  for (auto [seconds, amplitude] : pieces)
    for (long i = 0; i < static_cast<long>(seconds * 44100 + 0.5); ++i)
      samples.insert(samples.end(), 2,
                     static_cast<int16_t>(amplitude * 32767 *
                                          std::sin(2 * M_PI * 1000 * static_cast<double>(samples.size() / 2) / 44100)));
  WriteWhole(path, std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2));
}

inline size_t CountOf(const std::string& text, const std::string& what)
{
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++count;
  return count;
}
