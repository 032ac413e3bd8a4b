#pragma once
// Waiting on an event in tests: a generous deadline bounds the wait, it
// never measures it.
#include <chrono>
#include <thread>

using Clock = std::chrono::steady_clock;

inline long long MsSince(Clock::time_point start)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls pred until it holds; false once ms have passed without it.
template <class Pred>
bool Eventually(Pred pred, int ms = 5000)
{
  const auto start = Clock::now();
  while (!pred()) {
    if (MsSince(start) > ms)
      return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
