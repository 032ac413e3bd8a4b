#pragma once
// A worker thread that runs one cooperative operation and records its
// result and when it ended, for the cross-thread network tests.

#include "base/thread.h"
#include "base/ticks.h"

#include <atomic>
#include <functional>

namespace nettest {

class Worker : public LThread {
public:
  explicit Worker(std::function<int(LThread&)> body) : body_(std::move(body)) {}
  ~Worker() { StopThreadNow(); }

  // Owner: waits up to ms for the operation to end; its result or -1.
  int WaitResult(unsigned int ms) const
  {
    uint32_t start = GetTickCount();
    while (result_.load() == -1 && GetTickCount() - start < ms)
      ::Sleep(5);
    return result_.load();
  }
  uint32_t EndedAt() const { return endedAt_.load(); }

protected:
  void ThreadFunction() override
  {
    int r = body_(*this);
    endedAt_.store(GetTickCount());
    result_.store(r);
  }

private:
  std::function<int(LThread&)> body_;
  std::atomic<int> result_{-1};
  std::atomic<uint32_t> endedAt_{0};
};

} // namespace nettest
