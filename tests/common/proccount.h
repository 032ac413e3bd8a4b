#pragma once
// Counts of this process's descriptors, threads and children from /proc, for
// tests that check nothing leaks.

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// Entries of a folder, less "." and ".."; -1 when it cannot be read.
inline int CountEntries(const char* folder)
{
  int count = 0;
  DIR* dir = opendir(folder);
  if (dir == nullptr)
    return -1;
  while (dirent* entry = readdir(dir))
    count += entry->d_name[0] != '.';
  closedir(dir);
  return count;
}

// Open descriptors, less the one used to count them.
inline int CountDescriptors()
{
  return CountEntries("/proc/self/fd") - 1;
}

// Threads of this process.  Sanitizer runtimes add a helper thread at the
// first thread start, so tests start and join one before taking a baseline.
inline int CountThreads()
{
  return CountEntries("/proc/self/task");
}

// Children of `parent` from /proc; with zombiesOnly, those exited and not
// reaped.
inline std::vector<pid_t> ChildrenOf(pid_t parent, bool zombiesOnly = false)
{
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr)
    return children;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
      continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    if (close == std::string::npos)
      continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent &&
        (!zombiesOnly || state == 'Z'))
      children.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
  }
  closedir(proc);
  return children;
}

// Children of this process; with zombiesOnly, those exited and not reaped.
inline int CountChildren(bool zombiesOnly = false)
{
  return static_cast<int>(ChildrenOf(getpid(), zombiesOnly).size());
}
