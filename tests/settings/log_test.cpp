#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "common/files.h"
#include "settings/log.h"

namespace {

// The log's clock is injected; local time is UTC for these tests.
time_t gNow = 0;
time_t TestClock() { return gNow; }
constexpr time_t k20261205_140307 = 1796479387;  // 2026-12-05 14:03:07 UTC
const std::string kFolder = "/tmp/logtest";

// "time|text|level" of each line shown.
std::string Shown(const char* time, const char* text, unsigned char level)
{
  return std::string(time) + "|" + text + "|" + std::to_string(level);
}

class RecordingDisplay : public LLogDisplay {
public:
  void DisplayStatus(const char* time, const char* text, unsigned char level) override
  {
    lines.push_back(Shown(time, text, level));
  }
  std::vector<std::string> lines;
};

std::vector<std::string> gForwarded;
void Forward(const char* time, const char* text, unsigned char level) { gForwarded.push_back(Shown(time, text, level)); }

class LogTest : public ::testing::Test {
protected:
  void SetUp() override { gNow = k20261205_140307; }
  std::string Day(const char* day) { return ReadWhole(kFolder + "/" + day + " Velorin Log.txt"); }
  bool utc_ = setenv("TZ", "UTC", 1) == 0 && (tzset(), true);
  LLog log_{kFolder.c_str(), TestClock};
};

TEST_F(LogTest, LinesAreByteExactInEachDaysFileAndCutWhenOverLong)
{
  log_.Log("Starting web server", LLogPlain);
  log_.Log("Second line", LLogError);
  gNow += 9 * 3600 + 56 * 60 + 52;  // 23:59:59
  log_.Log("last of the day", LLogPlain);
  ++gNow;
  log_.Log("first of the next", LLogPlain);
  log_.Log(std::string(20000, 'x').c_str(), LLogPlain);
  EXPECT_EQ(Day("2026-12-05"), "14:03:07 Starting web server\r\n14:03:07 Second line\r\n23:59:59 last of the day\r\n");
  EXPECT_EQ(Day("2026-12-06"), "00:00:00 first of the next\r\n00:00:00 " + std::string(8180, 'x') + "\r\n")
      << "an over-long line is cut to 8191 bytes and still ends";
}

TEST_F(LogTest, LinesReachTheWindowOrElseTheServiceForwarding)
{
  gForwarded.clear();
  LSetServiceLogForwarder(Forward);
  log_.Log("to the service", LLogWarning);
  RecordingDisplay window;
  log_.SetLogWindow(window);
  log_.Log("to the window", LLogInformation);
  log_.LogDisplayOnly("09:08:07", "from the service", LLogError);
  log_.InvalidateLogWindow();
  log_.Log("after detach", LLogPlain);
  LSetServiceLogForwarder(nullptr);
  log_.Log("nowhere but the file", LLogPlain);
  EXPECT_EQ(window.lines, (std::vector<std::string>{Shown("14:03:07", "to the window", LLogInformation),
                                                      Shown("09:08:07", "from the service", LLogError)}));
  EXPECT_EQ(gForwarded, (std::vector<std::string>{Shown("14:03:07", "to the service", LLogWarning),
                                                   Shown("14:03:07", "after detach", LLogPlain)}));
  EXPECT_EQ(Day("2026-12-05"), "14:03:07 to the service\r\n14:03:07 to the window\r\n14:03:07 after detach\r\n"
                               "14:03:07 nowhere but the file\r\n")
      << "display-only lines never reach the file";
}

TEST_F(LogTest, FormattedFormsCutAt511AndJoinTheirParts)
{
  RecordingDisplay window;
  gLLog.SetLogWindow(window);
  LOGF("%s", std::string(600, 'y').c_str());
  LOGERROR("count ", 42);
  LOGWARN("a", "b");
  LOGINFOF("port %d", 1085);
  std::string long300(300, 'z');
  LOG(long300.c_str(), long300.c_str());
  gLLog.InvalidateLogWindow();
  for (std::string& line : window.lines)
    line = line.substr(9);  // the clock's time
  EXPECT_EQ(window.lines, (std::vector<std::string>{std::string(511, 'y') + "|0", "count 42|" + std::to_string(LLogError),
                                                    "ab|" + std::to_string(LLogWarning),
                                                    "port 1085|" + std::to_string(LLogInformation),
                                                    std::string(518, 'z') + "|0"}))
      << "cut at 511, each part at 259";
  EXPECT_EQ(std::string(gLLog.GetLogFolder()), "/opt/ostrel/velorin/etc/Logs");
  EXPECT_TRUE(Exists(gLLog.GetLogFolder()));
}

}  // namespace
