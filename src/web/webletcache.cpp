#include "web/webletcache.h"

#include <cstring>

#include "base/formatter.h"
#include "base/stringtools.h"

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Characters that can continue a tag, so a match next to one is only part
// of a longer tag.
bool IsTagChar(char c)
{
  return (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

void LWebletFormatDecimal(char* out, int64_t value)
{
  char digits[24];
  int count = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char* p = out;
  if (value < 0) {
    *p++ = '-';
  }
  while (count > 0) {
    *p++ = digits[--count];
  }
  *p = 0;
}

void LWebletFormatEntityTag(char* out, time_t modified, uint64_t size)
{
  char time[24];
  char bytes[24];
  LWebletFormatDecimal(time, static_cast<int64_t>(modified));
  LWebletFormatDecimal(bytes, static_cast<int64_t>(size));
  tsprintf(out, kPathSize, "%s-%s", time, bytes);
}

bool LWebletTagMatches(const char* ifNoneMatch, const char* tag)
{
  std::size_t length = std::strlen(tag);
  if (length == 0) {
    return false;
  }
  for (const char* found = std::strstr(ifNoneMatch, tag); found != nullptr; found = std::strstr(found + 1, tag)) {
    bool wholeBefore = found == ifNoneMatch || !IsTagChar(found[-1]);
    bool wholeAfter = !IsTagChar(found[length]);
    if (wholeBefore && wholeAfter) {
      return true;
    }
  }
  return false;
}

void LWebletFormatHTTPDate(char* out, time_t when)
{
  tm parts{};
  gmtime_r(&when, &parts);
  tsprintf(out, kPathSize, "%s, %.2d %s 20%.2d %.2d:%.2d:%.2d GMT", kDayNames[parts.tm_wday], parts.tm_mday,
           kMonthNames[parts.tm_mon], parts.tm_year % 100, parts.tm_hour, parts.tm_min, parts.tm_sec);
}
