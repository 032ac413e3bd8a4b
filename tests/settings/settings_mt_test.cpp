#include "settings/settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Each writer stores "<n>:<n>" under its own keys with growing n, zero-filled
// so the file keeps its size: the harshest case for a cache keyed on
// (modification time, size).  Every value read must be whole (both halves
// equal) and never go backwards, and a process's own keys must always read
// back as last written (another writer saving a stale copy would revert them).
bool ParseValue(const char* text, long& n)
{
  long a = -1, b = -2;
  if (std::sscanf(text, "%ld:%ld", &a, &b) != 2)
    return false;
  n = a;
  return a == b;
}

// Runs for the given time: writes own keys, reads the other side's keys.
// Returns the number of faults seen, and the last value written per key.
int Exercise(const char* mine, const char* theirs, int keys, double seconds, std::vector<long>& last)
{
  int faults = 0;
  std::vector<long> seen(keys, -1);
  last.assign(keys, -1);
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  long n = 0;
  // At least a few rounds over every key, however slow the machine.
  while (std::chrono::steady_clock::now() < end || n < 4 * keys) {
    int k = static_cast<int>(n % keys);
    char key[32], value[64];
    std::snprintf(key, sizeof key, "%s%d", mine, k);
    std::snprintf(value, sizeof value, "%08ld:%08ld", n, n);
    LSettingSetString("Race", key, value);
    last[k] = n;

    std::snprintf(key, sizeof key, "%s%d", theirs, k);
    char out[260];
    LSettingGetString("Race", key, "", out);
    long got;
    if (out[0]) {
      if (!ParseValue(out, got) || got < seen[k])
        ++faults;
      else
        seen[k] = got;
    }
    int own = static_cast<int>((n + 3) % keys);
    if (last[own] >= 0) {
      std::snprintf(key, sizeof key, "%s%d", mine, own);
      LSettingGetString("Race", key, "", out);
      if (!ParseValue(out, got) || got != last[own])
        ++faults;
    }
    ++n;
  }
  return faults;
}

TEST(SettingsAcrossProcesses, ConcurrentWritersLoseNothingAndReadersSeeWholeValues)
{
  constexpr int kKeys = 6;
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  pid_t child = fork();
  if (child == 0) {
    close(pipefd[0]);
    std::vector<long> last;
    int faults = Exercise("child", "parent", kKeys, 3.0, last);
    (void)!write(pipefd[1], last.data(), last.size() * sizeof(long));
    _exit(faults == 0 ? 0 : 1);
  }
  close(pipefd[1]);
  std::vector<long> mine;
  int faults = Exercise("parent", "child", kKeys, 3.0, mine);
  std::vector<long> theirs(kKeys, -1);
  ASSERT_EQ(read(pipefd[0], theirs.data(), kKeys * sizeof(long)), static_cast<ssize_t>(kKeys * sizeof(long)));
  close(pipefd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(faults, 0) << "torn or stale-going-back reads in the parent";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "torn reads in the child";

  // Every process's last write is on disk (no write lost to a stale cache).
  for (int k = 0; k < kKeys; ++k) {
    char key[32], out[260];
    long n = -1;
    std::snprintf(key, sizeof key, "parent%d", k);
    LSettingGetString("Race", key, "", out);
    ASSERT_TRUE(ParseValue(out, n));
    EXPECT_EQ(n, mine[k]);
    std::snprintf(key, sizeof key, "child%d", k);
    LSettingGetString("Race", key, "", out);
    ASSERT_TRUE(ParseValue(out, n)) << key << "=" << out;
    EXPECT_EQ(n, theirs[k]);
  }
}

TEST(SettingsAcrossThreads, ThreadsOfOneProcessShareTheStore)
{
  constexpr int kThreads = 8, kWrites = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kWrites; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "t%dk%d", t, i % 10);
        LSettingSetInt("Threads", key, i);
        LUserSettingSetInt("Threads", key, -i);
        (void)LSettingGetInt("Threads", key, 0);
      }
    });
  for (auto& th : threads)
    th.join();
  for (int t = 0; t < kThreads; ++t)
    for (int k = 0; k < 10; ++k) {
      char key[32];
      std::snprintf(key, sizeof key, "t%dk%d", t, k);
      EXPECT_EQ(LSettingGetInt("Threads", key, -1), kWrites - 10 + k);
      EXPECT_EQ(LUserSettingGetInt("Threads", key, 1), -(kWrites - 10 + k));
    }
}

}  // namespace
