#pragma once

// The waiting steps under the cooperative operations: one bounded wait on
// one descriptor, and the idle budget that turns slices into a time-out.

// Every blocking step waits at most this long before it asks the process
// interface whether to stop.
inline constexpr int kProcessSliceMs = 200;

enum class LWaitResult { Ready, TimedOut, Error };

// Waits up to ms milliseconds until the descriptor is readable (data, the
// peer's close or a pending error).  A negative descriptor is an error.
// Waits interrupted by a signal are resumed, so a signal handler elsewhere
// in the process never turns into a spurious failure.
LWaitResult LWaitReadable(int descriptor, int ms);
// The same for writability.
LWaitResult LWaitWritable(int descriptor, int ms);

// True for the errors that mean "nothing can be done right now, wait".
bool LIsTransientSocketError(int error);

// Counts idle slices against a time-out: each slice that ends with nothing
// ready costs kProcessSliceMs; slices with progress cost nothing, so the
// time-out bounds the idle time of one call, not its total duration.
class LIdleBudget {
public:
  explicit LIdleBudget(int timeoutMs) : left_(timeoutMs) {}
  // Charges one idle slice; false once the budget is used up.
  bool SpendSlice()
  {
    left_ -= kProcessSliceMs;
    return left_ > 0;
  }
  // Waits one slice for the descriptor to take more data, charging the
  // slice when it stays full.  False when the wait failed or the budget is
  // used up: the send has failed.
  bool WaitWritable(int descriptor);

private:
  int left_;
};
