#include "base/stringtools.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <strings.h>

std::size_t tstrlcpy(char* dst, const char* src, std::size_t size)
{
  if (size == 0) {
    return 0;
  }
  std::size_t n = 0;
  if (src != nullptr) {
    while (n + 1 < size && src[n] != 0) {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = 0;
  return n;
}

std::size_t tlstrcpy(char* dst, const char* src)
{
  return tstrlcpy(dst, src, kPathSize);
}

std::size_t LCopyFromUTF8(char* dst, const char* src, std::size_t size)
{
  return tstrlcpy(dst, src, size);
}

int ttoi(const char* text)
{
  if (text == nullptr) {
    return 0;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0 && *p < 33) {
    ++p;
  }
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
  }
  // Accumulate the magnitude in 64 bits and stop growing past the int range
  // so that long digit runs neither overflow nor wrap.
  long long value = 0;
  const long long limit = static_cast<long long>(INT_MAX) + 1;
  while (*p >= '0' && *p <= '9') {
    if (value <= limit) {
      value = value * 10 + (*p - '0');
    }
    ++p;
  }
  if (negative) {
    value = -value;
  }
  if (value > INT_MAX) {
    return INT_MAX;
  }
  if (value < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(value);
}

char* tstrtrimspaces(char* text)
{
  if (text == nullptr)
    return text;
  std::size_t start = 0;
  while (text[start] == ' ')
    ++start;
  std::size_t end = std::strlen(text);
  while (end > start && text[end - 1] == ' ')
    --end;
  std::memmove(text, text + start, end - start);
  text[end - start] = '\0';
  return text;
}

void ReplaceChar(char* text, char from, char to)
{
  if (text == nullptr) {
    return;
  }
  for (; *text != 0; ++text) {
    if (*text == from) {
      *text = to;
    }
  }
}

namespace {
char* MapCase(char* text, int (*map)(int))
{
  if (text == nullptr) {
    return text;
  }
  for (char* p = text; *p != 0; ++p) {
    *p = static_cast<char>(map(static_cast<unsigned char>(*p)));
  }
  return text;
}
}  // namespace

char* strlwr(char* text)
{
  return MapCase(text, ::tolower);
}

char* strupr(char* text)
{
  return MapCase(text, ::toupper);
}

char* tstrlwr(char* text)
{
  return strlwr(text);
}

int tstrcmp(const char* a, const char* b)
{
  return std::strcmp(a, b);
}

int tstricmp(const char* a, const char* b)
{
  return ::strcasecmp(a, b);
}

const char* tstrstr(const char* text, const char* find)
{
  return std::strstr(text, find);
}

char* tstrstr(char* text, const char* find)
{
  return std::strstr(text, find);
}

const char* tstrchr(const char* text, char c)
{
  return std::strchr(text, c);
}

char* tstrchr(char* text, char c)
{
  return std::strchr(text, c);
}

void LEndianReverse(uint16_t& value)
{
  value = static_cast<uint16_t>((value >> 8) | (value << 8));
}

void LEndianReverse(uint32_t& value)
{
  value = (value >> 24) | ((value >> 8) & 0x0000ff00u) | ((value << 8) & 0x00ff0000u) | (value << 24);
}
