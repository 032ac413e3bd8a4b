#include "settings/log.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The log's clock is injected; local time is UTC for these tests.
time_t gNow = 0;
time_t TestClock() { return gNow; }

class LogTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  std::string folder_ = "/tmp/logtest";
};

struct Line {
  std::string time, text;
  unsigned char level;
};

class RecordingDisplay : public LLogDisplay {
public:
  void DisplayStatus(const char* time, const char* text, unsigned char level) override
  {
    lines.push_back({time, text, level});
  }
  std::vector<Line> lines;
};

std::vector<Line> gForwarded;
void Forward(const char* time, const char* text, unsigned char level) { gForwarded.push_back({time, text, level}); }

constexpr time_t k20261205_140307 = 1796479387;  // 2026-12-05 14:03:07 UTC

TEST_F(LogTest, LineIsByteExactInTheDailyFile)
{
  LLog log(folder_.c_str(), TestClock);
  gNow = k20261205_140307;
  log.Log("Starting web server", LLogPlain);
  log.Log("Second line", LLogError);
  EXPECT_EQ(ReadWhole(folder_ + "/2026-12-05 Velorin Log.txt"),
            "14:03:07 Starting web server\r\n14:03:07 Second line\r\n");
}

TEST_F(LogTest, MidnightStartsTheNextDaysFile)
{
  LLog log(folder_.c_str(), TestClock);
  gNow = k20261205_140307 + (9 * 3600 + 56 * 60 + 52);  // 23:59:59
  log.Log("last of the day", LLogPlain);
  ++gNow;
  log.Log("first of the next", LLogPlain);
  EXPECT_EQ(ReadWhole(folder_ + "/2026-12-05 Velorin Log.txt"), "23:59:59 last of the day\r\n");
  EXPECT_EQ(ReadWhole(folder_ + "/2026-12-06 Velorin Log.txt"), "00:00:00 first of the next\r\n");
}

TEST_F(LogTest, LinesReachTheWindowOrElseTheServiceForwarding)
{
  LLog log(folder_.c_str(), TestClock);
  gNow = k20261205_140307;
  gForwarded.clear();
  LSetServiceLogForwarder(Forward);
  log.Log("to the service", LLogWarning);
  ASSERT_EQ(gForwarded.size(), 1u);
  EXPECT_EQ(gForwarded[0].time, "14:03:07");
  EXPECT_EQ(gForwarded[0].level, LLogWarning);

  RecordingDisplay window;
  log.SetLogWindow(window);
  log.Log("to the window", LLogInformation);
  log.LogDisplayOnly("09:08:07", "from the service", LLogError);
  log.InvalidateLogWindow();
  log.Log("after detach", LLogPlain);
  LSetServiceLogForwarder(nullptr);
  log.Log("nowhere but the file", LLogPlain);

  ASSERT_EQ(window.lines.size(), 2u);
  EXPECT_EQ(window.lines[0].text, "to the window");
  EXPECT_EQ(window.lines[1].time, "09:08:07");
  EXPECT_EQ(gForwarded.size(), 2u);
  EXPECT_EQ(ReadWhole(folder_ + "/2026-12-05 Velorin Log.txt"),
            "14:03:07 to the service\r\n14:03:07 to the window\r\n14:03:07 after detach\r\n"
            "14:03:07 nowhere but the file\r\n")
      << "display-only lines never reach the file";
}

TEST_F(LogTest, OverLongMessagesAreCutAndStillEndTheLine)
{
  LLog log(folder_.c_str(), TestClock);
  gNow = k20261205_140307;
  std::string huge(20000, 'x');
  log.Log(huge.c_str(), LLogPlain);
  std::string file = ReadWhole(folder_ + "/2026-12-05 Velorin Log.txt");
  EXPECT_EQ(file.size(), 8191u);
  EXPECT_EQ(file.substr(file.size() - 2), "\r\n");
}

TEST_F(LogTest, FormattedFormsCutAt511AndJoinTheirParts)
{
  RecordingDisplay window;
  gLLog.SetLogWindow(window);
  std::string longText(600, 'y');
  LOGF("%s", longText.c_str());
  LOGERROR("count ", 42);
  LOGWARN("a", "b");
  LOGINFOF("port %d", 1085);
  std::string long300(300, 'z');
  LOG(long300.c_str(), long300.c_str());
  gLLog.InvalidateLogWindow();

  ASSERT_EQ(window.lines.size(), 5u);
  EXPECT_EQ(window.lines[0].text.size(), 511u);
  EXPECT_EQ(window.lines[1].text, "count 42");
  EXPECT_EQ(window.lines[1].level, LLogError);
  EXPECT_EQ(window.lines[2].text, "ab");
  EXPECT_EQ(window.lines[3].text, "port 1085");
  EXPECT_EQ(window.lines[3].level, LLogInformation);
  EXPECT_EQ(window.lines[4].text, std::string(518, 'z')) << "each part cut to 259";
  EXPECT_TRUE(Exists(std::string(gLLog.GetLogFolder())));
  EXPECT_EQ(std::string(gLLog.GetLogFolder()), "/opt/ostrel/velorin/etc/Logs");
}

}  // namespace
