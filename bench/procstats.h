#pragma once
// CPU time and resident memory of another process, read from /proc.

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

struct LProcSample {
  bool valid = false;
  double cpuSeconds = 0;  // user + system time of all the process's threads
  long rssKiB = 0;        // VmRSS
};

inline LProcSample LReadProcSample(pid_t pid)
{
  LProcSample s;
  char path[64];
  std::snprintf(path, sizeof(path), "/proc/%d/stat", int(pid));
  std::ifstream stat(path);
  std::string line;
  if (!std::getline(stat, line))
    return s;
  // The command name in parentheses may hold spaces: fields are counted from
  // the last ')'.  After it come state (field 3) ... utime (14), stime (15).
  const size_t close = line.rfind(')');
  if (close == std::string::npos)
    return s;
  std::istringstream fields(line.substr(close + 1));
  std::string skip;
  for (int field = 3; field < 14; ++field)
    fields >> skip;
  unsigned long long utime = 0, stime = 0;
  if (!(fields >> utime >> stime))
    return s;
  s.cpuSeconds = double(utime + stime) / double(sysconf(_SC_CLK_TCK));

  std::snprintf(path, sizeof(path), "/proc/%d/status", int(pid));
  std::ifstream status(path);
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmRSS:") == 0) {
      s.rssKiB = std::strtol(line.c_str() + 6, nullptr, 10);
      s.valid = true;
      break;
    }
  }
  return s;
}
