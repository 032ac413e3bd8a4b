#include "web/webletrange.h"

#include <cstring>

#include <strings.h>

namespace {

constexpr char kUnit[] = "bytes=";

bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

const char* SkipSpaces(const char* text)
{
  while (*text == ' ' || *text == '\t')
    ++text;
  return text;
}

// Reads decimal digits at text; a number too long for 64 bits saturates
// (a start that large is past any file, an end that large is its end).
// False when there is no digit.
bool ReadNumber(const char*& text, uint64_t& value)
{
  if (!IsDigit(*text))
    return false;
  value = 0;
  for (; IsDigit(*text); ++text) {
    const uint64_t digit = static_cast<uint64_t>(*text - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  return true;
}

}  // namespace

LRangeAnswer LWebletParseRange(const char* header, uint64_t size, LByteRange& range)
{
  const char* text = SkipSpaces(header);
  if (strncasecmp(text, kUnit, sizeof kUnit - 1) != 0 || std::strchr(text, ',') != nullptr)
    return LRangeAnswer::Whole;
  text = SkipSpaces(text + sizeof kUnit - 1);
  uint64_t first = 0;
  uint64_t last = UINT64_MAX;
  if (*text == '-') {
    ++text;
    uint64_t suffix = 0;
    if (!ReadNumber(text, suffix) || *SkipSpaces(text) != 0)
      return LRangeAnswer::Whole;
    if (suffix == 0 || size == 0)
      return LRangeAnswer::Unsatisfiable;
    first = suffix >= size ? 0 : size - suffix;
  } else {
    if (!ReadNumber(text, first))
      return LRangeAnswer::Whole;
    text = SkipSpaces(text);
    if (*text++ != '-')
      return LRangeAnswer::Whole;
    text = SkipSpaces(text);
    if (*text != 0 && !ReadNumber(text, last))
      return LRangeAnswer::Whole;
    if (*SkipSpaces(text) != 0 || last < first)
      return LRangeAnswer::Whole;
    if (first >= size)
      return LRangeAnswer::Unsatisfiable;
  }
  range.first = first;
  range.last = last >= size ? size - 1 : last;
  return LRangeAnswer::Partial;
}

bool LWebletIfRangeHolds(const char* ifRange, const char* tag)
{
  const char* value = SkipSpaces(ifRange);
  if (*value == 0)
    return true;
  const std::size_t length = std::strlen(tag);
  return value[0] == '"' && std::strncmp(value + 1, tag, length) == 0 && value[length + 1] == '"' &&
         *SkipSpaces(value + length + 2) == 0;
}
