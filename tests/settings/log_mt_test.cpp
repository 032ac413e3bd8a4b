#include "settings/log.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A clock that advances one second every 1000 lines, starting ten seconds
// before midnight, so the threads' lines cross into the next day's file
// while the per-second cache changes under them.
std::atomic<long> gCalls{0};
constexpr time_t kStart = 1796515190;  // 2026-12-05 23:59:50 UTC
time_t SteppingClock() { return kStart + gCalls.fetch_add(1) / 1000; }

TEST(LogAcrossThreads, EveryLineAppearsOnceWholeInItsDaysFile)
{
  setenv("TZ", "UTC", 1);
  tzset();
  const std::string folder = "/tmp/logmt";
  LLog log(folder.c_str(), SteppingClock);
  constexpr int kThreads = 32, kLines = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      char text[64];
      for (int i = 0; i < kLines; ++i) {
        std::snprintf(text, sizeof text, "thread %d line %d", t, i);
        log.Log(text, LLogPlain);
      }
    });
  for (auto& th : threads)
    th.join();

  std::map<std::string, int> count;
  int total = 0;
  for (const char* day : {"2026-12-05", "2026-12-06"}) {
    std::string file = ReadWhole(folder + "/" + day + " Velorin Log.txt");
    bool today = std::string(day) == "2026-12-05";
    size_t pos = 0;
    while (pos < file.size()) {
      size_t end = file.find("\r\n", pos);
      ASSERT_NE(end, std::string::npos) << "unterminated line in " << day;
      std::string line = file.substr(pos, end - pos);
      pos = end + 2;
      int h, m, s, t, i;
      ASSERT_EQ(std::sscanf(line.c_str(), "%d:%d:%d thread %d line %d", &h, &m, &s, &t, &i), 5) << line;
      EXPECT_EQ(h == 23, today) << "line in the wrong day's file: " << line;
      ++count[line.substr(9)];
      ++total;
    }
  }
  EXPECT_EQ(total, kThreads * kLines);
  EXPECT_EQ(count.size(), static_cast<size_t>(kThreads * kLines));
  for (const auto& [text, n] : count)
    ASSERT_EQ(n, 1) << text;
}

}  // namespace
