#pragma once
#include <cstdint>

// A time in milliseconds (signed 32-bit).  Arithmetic that would leave the
// 32-bit range saturates instead of wrapping, so an out-of-range length can
// never turn into a negative one.
class LSoundTime {
public:
  LSoundTime() : ms_(0) {}
  LSoundTime(int ms) : ms_(ms) {}
  // Seconds, truncated toward zero to whole milliseconds; NaN gives 0.
  explicit LSoundTime(double seconds);
  LSoundTime(int frames, int rate) : ms_(0) { SetSamples(frames, rate); }
  explicit LSoundTime(const char* text) : ms_(0) { SetText(text); }

  static LSoundTime Zero() { return LSoundTime(0); }
  // 60 hours: the longest time the program deals in.
  static LSoundTime Max() { return LSoundTime(216000000); }

  int GetMs() const { return ms_; }
  double GetSeconds() const { return ms_ / 1000.0; }

  // Frames at `rate` to milliseconds (truncated); a rate below 1 leaves the
  // value unchanged.
  void SetSamples(int frames, int rate);
  // Milliseconds to frames at `rate` (truncated).
  int GetSamples(int rate) const;

  // "h:mm:ss.fff" style text: digits, ":" between fields, one "." before the
  // fraction (three digits count), "-" anywhere for a negative time; any
  // other character is skipped.
  void SetText(const char* text);
  // Writes "h:mm:ss.mmm" (with a leading "-" when negative); at most
  // kTextSize bytes including the terminating NUL.
  static constexpr int kTextSize = 24;
  void GetText(char* out) const;

  LSoundTime operator+(const LSoundTime& other) const;
  LSoundTime operator-(const LSoundTime& other) const;
  bool operator>(const LSoundTime& other) const { return ms_ > other.ms_; }
  bool operator==(const LSoundTime& other) const { return ms_ == other.ms_; }

private:
  int32_t ms_;
};
