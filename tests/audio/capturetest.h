#pragma once
// Shared by the capture and engine tests: a sink that keeps what it is
// given, raw signal files for the test cards, the log's text, and counts of
// this process's descriptors, threads and child processes.
#include "proccount.h"
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/soundsink.h"
#include "settings/log.h"

// Keeps every block written and every seek; the test thread may look at it
// while the capture thread writes.
class LCollectSink : public LSoundSinkBase {
public:
  explicit LCollectSink(int rate = 44100, unsigned char channels = 2, std::atomic<bool>* destroyed = nullptr)
      : LSoundSinkBase(rate, channels), destroyed_(destroyed)
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
  std::vector<int> Writes() const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return writes_;
  }
  std::vector<int> Seeks() const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return seeks_;
  }
  std::vector<int> Samples() const
  {
    std::lock_guard<std::mutex> guard(mutex_);
    return samples_;
  }

private:
  mutable std::mutex mutex_;
  std::vector<int> writes_;
  std::vector<int> seeks_;
  std::vector<int> samples_;
  std::atomic<long> framesWritten_{0};
  std::atomic<bool>* destroyed_;
};

// Stereo 16-bit raw file for a "file:" test card: a list of (seconds,
// amplitude) pieces of a 1 kHz sine; amplitude 0 is silence.
struct LSignalPiece {
  double seconds;
  double amplitude;  // of full scale
};

inline void WriteSignalFile(const std::string& path, std::initializer_list<LSignalPiece> pieces)
{
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  long frame = 0;
  for (const LSignalPiece& piece : pieces) {
    long frames = static_cast<long>(piece.seconds * 44100 + 0.5);
    for (long i = 0; i < frames; ++i, ++frame) {
      int16_t value = static_cast<int16_t>(piece.amplitude * 32767 * std::sin(2 * M_PI * 1000 * static_cast<double>(frame) / 44100.0));
      int16_t pair[2] = {value, value};
      file.write(reinterpret_cast<const char*>(pair), sizeof pair);
    }
  }
}

// Everything the log has written so far.
inline std::string ReadLogText()
{
  std::string text;
  DIR* dir = opendir(gLLog.GetLogFolder());
  if (dir == nullptr)
    return text;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.')
      continue;
    std::ifstream file(std::string(gLLog.GetLogFolder()) + "/" + entry->d_name, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    text += content.str();
  }
  closedir(dir);
  return text;
}

