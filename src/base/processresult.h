#pragma once

// Result of every cooperative operation: 0 done, 1 stopped (the process
// interface asked to stop), 2 failed (time-out, peer closed, I/O error).
class LProcessResult {
public:
  constexpr LProcessResult(int code = 0) : code_(code) {}
  constexpr operator int() const { return code_; }
  constexpr bool operator==(const LProcessResult& other) const { return code_ == other.code_; }
  constexpr bool operator!=(const LProcessResult& other) const { return code_ != other.code_; }
  friend constexpr bool operator==(int code, const LProcessResult& r) { return code == r.code_; }
  friend constexpr bool operator!=(int code, const LProcessResult& r) { return code != r.code_; }

private:
  int code_;
};

inline constexpr int kProcessDone = 0;
inline constexpr int kProcessStopped = 1;
inline constexpr int kProcessFailed = 2;

// A process interface that never asks to stop: operations over it end only
// by success, failure or time-out.
class LProcessInterfaceVoid {
public:
  bool IsToStop() const { return false; }
};
