#include "common/report.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char* gProgramName = "component";

}  // namespace

void SetProgramName(const char* name)
{
  gProgramName = name;
}

const char* ProgramName()
{
  return gProgramName;
}

void ReportError(const char* format, ...)
{
  // Built in one buffer and written with one call, so that lines from
  // several processes sharing a stderr do not interleave.
  char line[1024];
  int used = std::snprintf(line, sizeof line, "%s: ", gProgramName);
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used), format, args);
  va_end(args);
  std::fprintf(stderr, "%s\n", line);
}
