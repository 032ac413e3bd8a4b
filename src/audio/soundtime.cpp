#include "audio/soundtime.h"

#include <climits>
#include <cstdio>

namespace {

int ClampToInt(int64_t v)
{
  if (v > INT_MAX) {
    return INT_MAX;
  }
  if (v < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(v);
}

}  // namespace

LSoundTime::LSoundTime(double seconds) : ms_(0)
{
  double ms = seconds * 1000.0;
  if (ms != ms) {
    return;
  }
  if (ms >= 2147483647.0) {
    ms_ = INT_MAX;
  } else if (ms <= -2147483648.0) {
    ms_ = INT_MIN;
  } else {
    ms_ = static_cast<int>(ms);
  }
}

void LSoundTime::SetSamples(int frames, int rate)
{
  if (rate <= 0) {
    return;
  }
  // Whole seconds first and then the remainder, as 64-bit so that long
  // stretches at low rates cannot overflow.
  int64_t f = frames;
  ms_ = ClampToInt((f / rate) * 1000 + ((f % rate) * 1000) / rate);
}

int LSoundTime::GetSamples(int rate) const
{
  int64_t ms = ms_;
  return ClampToInt((ms / 1000) * rate + ((ms % 1000) * rate) / 1000);
}

void LSoundTime::SetText(const char* text)
{
  // Bounded well inside int64 so that endless digit strings cannot
  // overflow; the result is clamped to 32 bits at the end.
  constexpr int64_t kCap = INT64_C(1) << 50;
  int64_t total = 0;
  int64_t field = 0;
  bool inFraction = false;
  int fractionWeight = 100;  // weight of the next fraction digit, 0 past three
  bool negative = false;
  for (const char* p = text; p && *p; ++p) {
    char c = *p;
    if (c >= '0' && c <= '9') {
      int digit = c - '0';
      if (!inFraction) {
        field = field * 10 + digit * 1000;
      } else {
        field += digit * fractionWeight;
        fractionWeight /= 10;
      }
    } else if (c == '.') {
      inFraction = true;
    } else if (c == ':') {
      total = (total + field) * 60;
      field = 0;
      inFraction = false;
      fractionWeight = 100;
    } else if (c == '-') {
      negative = true;
    }
    if (field > kCap) {
      field = kCap;
    }
    if (total > kCap) {
      total = kCap;
    }
  }
  int64_t ms = total + field;
  ms_ = ClampToInt(negative ? -ms : ms);
}

void LSoundTime::GetText(char* out) const
{
  int64_t v = ms_;
  const char* sign = "";
  if (v < 0) {
    sign = "-";
    v = -v;
  }
  long hours = static_cast<long>(v / 3600000);
  long minutes = static_cast<long>((v / 60000) % 60);
  int seconds = static_cast<int>((v / 1000) % 60);
  int millis = static_cast<int>(v % 1000);
  snprintf(out, kTextSize, "%s%ld:%.2ld:%.2d.%.3d", sign, hours, minutes, seconds, millis);
}

LSoundTime LSoundTime::operator+(const LSoundTime& other) const
{
  return LSoundTime(ClampToInt(static_cast<int64_t>(ms_) + other.ms_));
}

LSoundTime LSoundTime::operator-(const LSoundTime& other) const
{
  return LSoundTime(ClampToInt(static_cast<int64_t>(ms_) - other.ms_));
}
