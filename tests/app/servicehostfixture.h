#pragma once
// Engine halves that record the calls made to them, and a service host on them
// with its wait loop on a thread of its own (as the daemon's main thread).

#include "app/controlclient.h"
#include "app/controlmessage.h"
#include "app/enginehalves.h"
#include "app/mainengine.h"
#include "app/serviceengine.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

// Each call as "audio.Start+": "+" when the audio engine was published at the call.
struct HalfCalls {
  std::mutex mutex;
  std::vector<std::string> calls;
  void Add(const std::string& call)
  {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call + (gpAudioEngine.load() != nullptr ? "+" : "-"));
  }
  std::vector<std::string> Take()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(calls, {});
  }
  size_t Count(const std::string& call)
  {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<size_t>(std::ranges::count(calls, call));
  }
};

inline LAudioEngine* MarkerAudioEngine()
{
  static char marker;
  return reinterpret_cast<LAudioEngine*>(&marker);
}

template <class Half>
struct RecordingHalf : Half {
  RecordingHalf(HalfCalls& calls, std::string name) : calls_(calls), name_(std::move(name)) {}
  void Start() override { calls_.Add(name_ + ".Start"); }
  void Stop() override { calls_.Add(name_ + ".Stop"); }
  void Restart() override { calls_.Add(name_ + ".Restart"); }
  LAudioEngine* GetAudioEngine() { return MarkerAudioEngine(); }
  HalfCalls& calls_;
  std::string name_;
};

inline std::unique_ptr<MainEngine> MakeRecordingEngine(HalfCalls& calls)
{
  return std::make_unique<MainEngine>(std::make_unique<RecordingHalf<LEngineAudioHalf>>(calls, "audio"),
                                      std::make_unique<RecordingHalf<LEngineWebHalf>>(calls, "web"));
}

struct RunningHost {
  explicit RunningHost(HalfCalls& calls) : engine(MakeRecordingEngine(calls))
  {
    startedPipe = engine.StartPipe();
    engine.StartEngine();
    waiter = std::thread([this] { engine.Wait(); });
  }
  ~RunningHost() { Stop(); }
  void Stop()
  {
    if (waiter.joinable())
      engine.StopSoon(), waiter.join(), engine.Stop();
  }
  LServiceEngine<MainEngine> engine;
  std::thread waiter;
  bool startedPipe = false;
};

// Connections are listed asynchronously: a client is listed once a request
// of its with a reply has been answered.
inline bool WaitUntilListed(std::initializer_list<TestControlClient*> clients)
{
  TestMessage m;
  return std::ranges::all_of(clients, [&](TestControlClient* c) {
    bool ok = c->SendRequest(kControlRequestResult, 0, 0xABC);
    while (ok && (m.type != kControlReply || m.tag != 0xABC))
      ok = c->Read(m, 5000);
    return ok && (m = {}, true);
  });
}
