#include "base/formatter.h"

std::size_t vsprintf(LStringLongTemplate& out, const char* format, va_list args)
{
  LStringLongTemplateWriter writer(out);
  return tplprintf(writer, format, args);
}

std::size_t sprintf(LStringLongTemplate& out, const char* format, ...)
{
  va_list args;
  va_start(args, format);
  std::size_t length = vsprintf(out, format, args);
  va_end(args);
  return length;
}

std::size_t tsprintf(char* out, std::size_t size, const char* format, ...)
{
  LFixedLengthStringWriterTemplate writer(out, size);
  va_list args;
  va_start(args, format);
  std::size_t length = tplprintf(writer, format, args);
  va_end(args);
  return length;
}
