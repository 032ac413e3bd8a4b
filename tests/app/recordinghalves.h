#pragma once
// Engine halves that record the order of the calls made to them, and the
// audio engine pointer that was published at each call.

#include "app/enginehalves.h"
#include "app/mainengine.h"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct HalfCalls {
  std::mutex mutex;
  std::vector<std::string> calls;
  void Add(std::string call)
  {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(std::move(call));
  }
  std::vector<std::string> Take()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(calls, {});
  }
  size_t Count(const std::string& call)
  {
    std::lock_guard<std::mutex> lock(mutex);
    size_t n = 0;
    for (const auto& c : calls)
      n += c == call;
    return n;
  }
};

// A pointer that stands for the running audio engine; never dereferenced.
inline LAudioEngine* MarkerAudioEngine()
{
  static char marker;
  return reinterpret_cast<LAudioEngine*>(&marker);
}

inline std::string PublishedSuffix() { return gpAudioEngine.load() != nullptr ? "+" : "-"; }

class RecordingAudioHalf : public LEngineAudioHalf {
public:
  explicit RecordingAudioHalf(HalfCalls& calls) : calls_(calls) {}
  void Start() override { calls_.Add("audio.Start" + PublishedSuffix()); }
  void Stop() override { calls_.Add("audio.Stop" + PublishedSuffix()); }
  void Restart() override { calls_.Add("audio.Restart" + PublishedSuffix()); }
  LAudioEngine* GetAudioEngine() override { return MarkerAudioEngine(); }

private:
  HalfCalls& calls_;
};

class RecordingWebHalf : public LEngineWebHalf {
public:
  explicit RecordingWebHalf(HalfCalls& calls) : calls_(calls) {}
  void Start() override { calls_.Add("web.Start" + PublishedSuffix()); }
  void Stop() override { calls_.Add("web.Stop" + PublishedSuffix()); }
  void Restart() override { calls_.Add("web.Restart" + PublishedSuffix()); }

private:
  HalfCalls& calls_;
};

inline std::unique_ptr<MainEngine> MakeRecordingEngine(HalfCalls& calls)
{
  return std::make_unique<MainEngine>(std::make_unique<RecordingAudioHalf>(calls),
                                      std::make_unique<RecordingWebHalf>(calls));
}
