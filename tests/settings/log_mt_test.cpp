#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "common/files.h"
#include "settings/log.h"

namespace {

std::atomic<long> gCalls{0};

TEST(LogAcrossThreads, EveryLineAppearsOnceWholeInItsDaysFile)
{
  setenv("TZ", "UTC", 1);
  tzset();
  // One second every 1000 lines from 2026-12-05 23:59:50 UTC: lines cross into the next day's file.
  LLog log("/tmp/logmt", [] { return time_t(1796515190 + gCalls.fetch_add(1) / 1000); });
  constexpr int kThreads = 32, kLines = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i)
        log.Log(("thread " + std::to_string(t) + " line " + std::to_string(i)).c_str(), LLogPlain);
    });
  std::ranges::for_each(threads, &std::thread::join);
  std::set<std::string> seen;
  for (const char* day : {"2026-12-05", "2026-12-06"}) {
    std::string file = ReadWhole(std::string("/tmp/logmt/") + day + " Velorin Log.txt");
    for (size_t pos = 0, end; pos < file.size(); pos = end + 2) {
      end = file.find("\r\n", pos);
      ASSERT_NE(end, std::string::npos) << "unterminated line in " << day;
      std::string line = file.substr(pos, end - pos);
      int h, m, s, t, i;
      ASSERT_EQ(std::sscanf(line.c_str(), "%d:%d:%d thread %d line %d", &h, &m, &s, &t, &i), 5) << line;
      EXPECT_EQ(h == 23, day[9] == '5') << "line in the wrong day's file: " << line;
      EXPECT_TRUE(seen.insert(line.substr(9)).second) << "twice: " << line;
    }
  }
  EXPECT_EQ(seen.size(), size_t(kThreads * kLines));
}

}  // namespace
