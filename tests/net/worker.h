#pragma once
// A worker thread that runs one cooperative operation and records its
// result and when it ended.

#include "base/thread.h"
#include "base/ticks.h"

#include <atomic>
#include <functional>

namespace nettest {

class Worker : public LThread {
public:
  explicit Worker(std::function<int(LThread&)> body) : body_(std::move(body)) {}
  ~Worker() { StopThreadNow(); }

  // Owner: the result once the operation ended within ms, else -1.
  int WaitResult(unsigned int ms) const
  {
    for (uint32_t start = GetTickCount(); result_ == -1 && GetTickCount() - start < ms;)
      ::Sleep(5);
    return result_;
  }
  uint32_t EndedAt() const { return endedAt_; }

protected:
  void ThreadFunction() override
  {
    int r = body_(*this);
    endedAt_ = GetTickCount();
    result_ = r;
  }

private:
  std::function<int(LThread&)> body_;
  std::atomic<int> result_{-1};
  std::atomic<uint32_t> endedAt_{0};
};

} // namespace nettest
