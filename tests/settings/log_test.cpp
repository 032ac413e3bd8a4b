#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "common/files.h"
#include "settings/log.h"

namespace {

time_t gNow = 0;
std::vector<std::string> gForwarded, gShown;

// "time|text|level" of each line shown.
void Forward(const char* time, const char* text, unsigned char level)
{
  gForwarded.push_back(std::string(time) + "|" + text + "|" + std::to_string(level));
}

struct RecordingDisplay : LLogDisplay {
  void DisplayStatus(const char* time, const char* text, unsigned char level) override
  {
    gShown.push_back(std::string(time) + "|" + text + "|" + std::to_string(level));
  }
};

// The log's clock is injected (2026-12-05 14:03:07); local time is UTC.
class LogTest : public ::testing::Test {
protected:
  std::string Day(const char* day) { return ReadWhole(std::string("/tmp/logtest/") + day + " Velorin Log.txt"); }
  bool utc_ = setenv("TZ", "UTC", 1) == 0 && (tzset(), gNow = 1796479387, true);
  LLog log_{"/tmp/logtest", [] { return gNow; }};
  RecordingDisplay window_;
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

// Lines reach the window, or else the service's forwarding; formatted forms cut at 511, each part at 259.
TEST_F(LogTest, LinesReachTheWindowOrElseTheServiceForwarding)
{
  LSetServiceLogForwarder(Forward);
  log_.Log("to the service", LLogWarning);
  log_.SetLogWindow(window_);
  log_.Log("to the window", LLogInformation);
  log_.LogDisplayOnly("09:08:07", "from the service", LLogError);
  log_.InvalidateLogWindow();
  log_.Log("after detach", LLogPlain);
  LSetServiceLogForwarder(nullptr);
  log_.Log("nowhere but the file", LLogPlain);
  EXPECT_EQ(gForwarded, (std::vector<std::string>{"14:03:07|to the service|2", "14:03:07|after detach|0"}));
  EXPECT_EQ(Day("2026-12-05"), "14:03:07 to the service\r\n14:03:07 to the window\r\n14:03:07 after detach\r\n"
                               "14:03:07 nowhere but the file\r\n")
      << "display-only lines never reach the file";
  gLLog.SetLogWindow(window_);
  LOGF("%s", std::string(600, 'y').c_str());
  LOGERROR("count ", 42);
  LOGINFOF("port %d", 1085);
  std::string long300(300, 'z');
  LOG(long300.c_str(), long300.c_str());
  gLLog.InvalidateLogWindow();
  for (size_t i = 2; i < gShown.size(); ++i)
    gShown[i] = gShown[i].substr(9);  // the clock's time
  EXPECT_EQ(gShown, (std::vector<std::string>{"14:03:07|to the window|3", "09:08:07|from the service|1",
                                              std::string(511, 'y') + "|0", "count 42|1", "port 1085|3",
                                              std::string(518, 'z') + "|0"}));
}

}  // namespace
