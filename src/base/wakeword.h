#pragma once
#include <atomic>
#include <cstdint>

// A broadcast wake-up for any number of waiting threads: a 32-bit counter
// that the producer advances and waiters sleep on (a futex), so a thousand
// idle waiters cost nothing until the next advance.
//
// Waiters read the word, check their condition, and sleep only while the
// word still holds what they read; an advance between the check and the
// sleep makes the sleep return at once, so no wake-up is lost.
//
// Advance: any thread.  Load and WaitChange: any thread.
class LWakeWord {
public:
  LWakeWord() = default;
  LWakeWord(const LWakeWord&) = delete;
  LWakeWord& operator=(const LWakeWord&) = delete;

  uint32_t Load() const { return word_.load(std::memory_order_acquire); }

  // Changes the word and wakes every waiter.
  void Advance();

  // Sleeps until the word differs from seen or ms milliseconds have passed.
  // True when the word has changed.  May also return early (signals).
  bool WaitChange(uint32_t seen, unsigned int ms) const;

private:
  std::atomic<uint32_t> word_{0};
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "the futex is the word itself");
};
