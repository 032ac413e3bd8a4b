#pragma once
// A service host with recording engine halves, its wait loop on a thread of
// its own (standing in for the daemon's main thread), and the log forwarded
// to its connections as in the service.

#include "app/controlclient.h"
#include "app/recordinghalves.h"
#include "app/mainengine.h"
#include "app/serviceengine.h"
#include "settings/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <thread>

inline std::atomic<LServiceEngine<MainEngine>*> gTestHost{nullptr};

inline void ForwardToTestHost(const char* time, const char* text, unsigned char level)
{
  if (LServiceEngine<MainEngine>* host = gTestHost.load())
    host->Log(time, text, level);
}

class RunningHost {
public:
  explicit RunningHost(HalfCalls& calls) : host_(MakeRecordingEngine(calls))
  {
    started_pipe_ = host_.StartPipe();
    host_.StartEngine();
    gTestHost.store(&host_);
    LSetServiceLogForwarder(&ForwardToTestHost);
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

// Waits until pred holds, polling; false after ms.
template <class Pred>
bool Eventually(Pred pred, int ms)
{
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (pred())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pred();
}

inline long long MsSince(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Connection threads register themselves asynchronously: logs a marker line
// until every client has seen one, then drains what they received.
inline bool WaitUntilListed(LServiceEngine<MainEngine>& host, std::initializer_list<TestControlClient*> clients)
{
  bool ok = Eventually(
      [&] {
        host.Log("00:00:00", "sync", 0);
        for (TestControlClient* client : clients) {
          TestMessage m;
          if (!client->WaitForLogLine("sync", 100))
            return false;
        }
        return true;
      },
      3000);
  for (TestControlClient* client : clients)
    client->CollectLogLines(100);
  return ok;
}
