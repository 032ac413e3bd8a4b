#pragma once
#include <cstdarg>
#include <cstddef>

#include "base/stringlong.h"
#include "base/stringwriters.h"
#include "base/textcoding.h"

// The program's one text formatter.  Directives: '%', optionally '.' and one
// digit N, then a letter:
//   d  int in decimal, '-' first when negative, at least N digits zero-filled
//   s  text verbatim          H  text HTML-encoded      U  text URI-encoded
// Any other letter (a second '%' too) is written itself and takes no
// argument; a '.' without a digit is dropped.  Null texts write nothing.
// Arguments must be int for d and const char* for s, H and U.

namespace formatter {

template <class Writer>
void AddDecimal(Writer& writer, int value, int minDigits)
{
  char digits[16];
  int count = 0;
  // Work on the magnitude as unsigned so that INT_MIN is printed correctly.
  unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) {
    writer.AddChar('-');
  }
  for (int i = count; i < minDigits; ++i) {
    writer.AddChar('0');
  }
  while (count > 0) {
    writer.AddChar(digits[--count]);
  }
}

}  // namespace formatter

// Adds every byte of text.
template <class Writer>
void tplstrcpy(Writer& writer, const char* text)
{
  if (text != nullptr) {
    textcoding::AddText(writer, text);
  }
}

// Formats into writer; returns the writer's length at the end (0 for a null
// format, which writes nothing).
template <class Writer>
std::size_t tplprintf(Writer& writer, const char* format, va_list args)
{
  if (format == nullptr) {
    return 0;
  }
  for (const char* p = format; *p != 0; ++p) {
    if (*p != '%') {
      writer.AddChar(*p);
      continue;
    }
    ++p;
    int minDigits = 0;
    if (*p == '.') {
      ++p;
      if (*p >= '0' && *p <= '9') {
        minDigits = *p - '0';
        ++p;
      }
    }
    switch (*p) {
    case 0: return writer.GetLength();
    case 'd': formatter::AddDecimal(writer, va_arg(args, int), minDigits); break;
    case 's': tplstrcpy(writer, va_arg(args, const char*)); break;
    case 'H': LHTMLEncodeToWriter(writer, va_arg(args, const char*)); break;
    case 'U': LURIEncodeToWriter(writer, va_arg(args, const char*)); break;
    default: writer.AddChar(*p); break;
    }
  }
  return writer.GetLength();
}

// tplprintf with the arguments given directly.
template <class Writer>
std::size_t tplwprintf(Writer& writer, const char* format, ...)
{
  va_list args;
  va_start(args, format);
  std::size_t length = tplprintf(writer, format, args);
  va_end(args);
  return length;
}

// Formats into a growing string, replacing its content; returns its length.
std::size_t sprintf(LStringLongTemplate& out, const char* format, ...);
std::size_t vsprintf(LStringLongTemplate& out, const char* format, va_list args);

// Formats into a fixed buffer of size bytes, cutting silently; returns the
// length kept.
std::size_t tsprintf(char* out, std::size_t size, const char* format, ...);

template <std::size_t N>
std::size_t tsprintf(char (&out)[N], const char* format, ...)
{
  LFixedLengthStringWriterTemplate writer(out, N);
  va_list args;
  va_start(args, format);
  std::size_t length = tplprintf(writer, format, args);
  va_end(args);
  return length;
}
