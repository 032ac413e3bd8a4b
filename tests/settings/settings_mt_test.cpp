#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/files.h"
#include "settings/log.h"
#include "settings/settings.h"

namespace {

// n of "n:n", read back whole (both halves equal); -1 when absent, -3 when torn.
long Value(const std::string& key)
{
  char out[260];
  long a = -1, b = -2;
  LSettingGetString("Race", key.c_str(), "", out);
  return out[0] == '\0' ? -1 : std::sscanf(out, "%ld:%ld", &a, &b) == 2 && a == b ? a : -3;
}

// Writes "<n>:<n>" under its own keys, zero-filled (a cache keyed on time and size sees no change);
// the other side's keys must read whole and never go back, its own as last written.
int Exercise(const std::string& mine, const std::string& theirs, int keys, std::vector<long>& last)
{
  int faults = 0;
  std::vector<long> seen(keys, -1);
  last.assign(keys, -1);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (long n = 0; std::chrono::steady_clock::now() < end || n < 4 * keys; ++n) {
    int k = static_cast<int>(n % keys), own = static_cast<int>((n + 3) % keys);
    char value[64];
    std::snprintf(value, sizeof value, "%08ld:%08ld", n, n);
    LSettingSetString("Race", (mine + std::to_string(k)).c_str(), value);
    last[k] = n;
    long got = Value(theirs + std::to_string(k));
    faults += got == -3 || got < seen[k];
    seen[k] = std::max(seen[k], got);
    faults += last[own] >= 0 && Value(mine + std::to_string(own)) != last[own];
  }
  return faults;
}

// A child process and two threads of this one write the same section file at once.
TEST(SettingsAcrossProcesses, ConcurrentWritersLoseNothingAndReadersSeeWholeValues)
{
  constexpr int kKeys = 6;
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  pid_t child = fork();
  if (child == 0) {
    std::vector<long> last;
    int faults = Exercise("child", "parent", kKeys, last);
    (void)!write(pipefd[1], last.data(), last.size() * sizeof(long));
    _exit(faults == 0 ? 0 : 1);
  }
  close(pipefd[1]);
  std::vector<long> mine, peer, theirs(kKeys, -1);
  int peerFaults = 0;
  std::thread thread([&] { peerFaults = Exercise("thread", "parent", kKeys, peer); });
  EXPECT_EQ(Exercise("parent", "child", kKeys, mine) + (thread.join(), peerFaults), 0) << "torn or stale reads";
  ASSERT_EQ(read(pipefd[0], theirs.data(), kKeys * sizeof(long)), ssize_t(kKeys * sizeof(long)));
  close(pipefd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0) << "torn reads in the child";
  // Every writer's last value is on disk: none lost to a stale cache.
  for (int k = 0; k < kKeys; ++k)
    EXPECT_EQ(std::vector<long>({Value("parent" + std::to_string(k)), Value("thread" + std::to_string(k)),
                                 Value("child" + std::to_string(k))}),
              std::vector<long>({mine[k], peer[k], theirs[k]}));
}

std::atomic<long> gCalls{0};

TEST(LogAcrossThreads, EveryLineAppearsOnceWholeInItsDaysFile)
{
  setenv("TZ", "UTC", 1);
  tzset();
  // One second every 1000 lines from 2026-12-05 23:59:50 UTC: lines cross into the next day's file.
  LLog log("/tmp/logmt", [] { return time_t(1796515190 + gCalls.fetch_add(1) / 1000); });
  std::vector<std::thread> threads;
  for (int t = 0; t < 32; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < 1000; ++i)
        log.Log(("thread " + std::to_string(t) + " line " + std::to_string(i)).c_str(), LLogPlain);
    });
  std::ranges::for_each(threads, &std::thread::join);
  std::set<std::string> seen;
  size_t lines = 0;
  for (std::string day : {"05", "06"}) {
    std::istringstream file(ReadWhole("/tmp/logmt/2026-12-" + day + " Velorin Log.txt"));
    for (std::string line; std::getline(file, line); ++lines) {
      int t = -1, i = -1;
      std::sscanf(line.c_str() + std::min<size_t>(9, line.size()), "thread %d line %d", &t, &i);
      const std::string text = "thread " + std::to_string(t) + " line " + std::to_string(i) + "\r";
      EXPECT_EQ(line, (day == "05" ? "23:" : "00:") + line.substr(3, 6) + text) << "torn, unended or on the wrong day";
      seen.insert(text);
    }
  }
  EXPECT_EQ(seen.size() + lines, 64000u) << "lines lost or written twice";
}

}  // namespace
