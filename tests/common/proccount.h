#pragma once
// Counts of this process's descriptors, threads and children from /proc, for
// tests that check nothing leaks.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// Entries of a folder, less hidden ones; -1 when it cannot be read.
inline int CountEntries(const char* folder)
{
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  return error ? -1 : static_cast<int>(std::count_if(entries, {}, [](const auto& entry) {
    return entry.path().filename().string()[0] != '.';
  }));
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
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename();
    std::string line;
    std::getline(std::ifstream(entry.path() / "stat"), line);
    const size_t close = line.rfind(')');
    char state = 0;
    int ppid = 0;
    if (name[0] >= '0' && name[0] <= '9' && close != std::string::npos &&
        std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent &&
        (!zombiesOnly || state == 'Z'))
      children.push_back(static_cast<pid_t>(std::stoi(name)));
  }
  return children;
}

// Children of this process; with zombiesOnly, those exited and not reaped.
inline int CountChildren(bool zombiesOnly = false)
{
  return static_cast<int>(ChildrenOf(getpid(), zombiesOnly).size());
}
