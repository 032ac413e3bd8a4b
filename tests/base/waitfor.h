#pragma once
// Waiting on an event in tests: a generous deadline bounds the wait, it
// never measures it.
#include <chrono>
#include <thread>

inline long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Polls pred until it holds; false once ms have passed without it.
template <class Pred>
bool Eventually(Pred pred, int ms = 5000) {
  const auto start = std::chrono::steady_clock::now();
  while (!pred()) {
    if (MsSince(start) > ms)
      return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
