#pragma once
// Engine halves that record the calls made to them, and a service host built
// on them with its wait loop on a thread of its own (standing in for the
// daemon's main thread) and the log forwarded to its connections.

#include "app/controlclient.h"
#include "app/enginehalves.h"
#include "app/mainengine.h"
#include "app/serviceengine.h"
#include "common/waitfor.h"
#include "settings/log.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <initializer_list>
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
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
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

inline std::atomic<LServiceEngine<MainEngine>*> gTestHost{nullptr};

class RunningHost {
public:
  explicit RunningHost(HalfCalls& calls) : host_(MakeRecordingEngine(calls))
  {
    started_pipe_ = host_.StartPipe();
    host_.StartEngine();
    gTestHost.store(&host_);
    LSetServiceLogForwarder([](const char* time, const char* text, unsigned char level) {
      if (LServiceEngine<MainEngine>* host = gTestHost.load())
        host->Log(time, text, level);
    });
    waiter_ = std::thread([this] { host_.Wait(); });
  }
  ~RunningHost() { Stop(); }
  void Stop()
  {
    if (!waiter_.joinable())
      return;
    host_.StopSoon();
    waiter_.join();
    LSetServiceLogForwarder(nullptr);
    gTestHost.store(nullptr);
    host_.Stop();
  }
  bool StartedPipe() const { return started_pipe_; }
  LServiceEngine<MainEngine>& Host() { return host_; }

private:
  LServiceEngine<MainEngine> host_;
  std::thread waiter_;
  bool started_pipe_ = false;
};

// Connections are listed asynchronously: logs a marker line until every
// client has seen one, then drains what they received.
inline bool WaitUntilListed(LServiceEngine<MainEngine>& host, std::initializer_list<TestControlClient*> clients)
{
  const bool ok = Eventually([&] {
    host.Log("00:00:00", "sync", 0);
    return std::all_of(clients.begin(), clients.end(), [](auto* c) { return c->WaitForLogLine("sync", 100); });
  });
  for (TestMessage m; TestControlClient * client : clients)
    while (client->Read(m, 100)) {
    }
  return ok;
}
