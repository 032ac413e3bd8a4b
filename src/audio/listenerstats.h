#pragma once
// Listener figures of one encoder queue, for the status pages.  Updated by
// the listeners' own threads (connection and fan-out) with relaxed atomic
// operations only: the send path takes no lock for them.  Read by any
// thread; the figures are independent, a reader may see one updated
// before another.
#include <atomic>
#include <cstdint>

class LListenerStats {
public:
  // A listener starts (any thread).  Raises the peak when passed.
  void Join()
  {
    const int now = current_.fetch_add(1, std::memory_order_relaxed) + 1;
    int peak = peak_.load(std::memory_order_relaxed);
    while (now > peak && !peak_.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
  }
  // A listener ends (any thread).
  void Leave() { current_.fetch_sub(1, std::memory_order_relaxed); }
  // Audio bytes handed to a listener's socket.
  void AddSent(uint64_t bytes) { sent_.fetch_add(bytes, std::memory_order_relaxed); }

  int GetCurrent() const { return current_.load(std::memory_order_relaxed); }
  int GetPeak() const { return peak_.load(std::memory_order_relaxed); }
  uint64_t GetSent() const { return sent_.load(std::memory_order_relaxed); }

private:
  std::atomic<int> current_{0};
  std::atomic<int> peak_{0};
  std::atomic<uint64_t> sent_{0};
};
