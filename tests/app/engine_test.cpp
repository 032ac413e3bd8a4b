// Engine control order, control codes, the first-start web port notice and
// the message boxes' fallback to the log.

#include "app/mainengine.h"
#include "app/mainengineproxy.h"
#include "app/messagebox.h"
#include "app/logcapture.h"
#include "app/recordinghalves.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::string>;

TEST(MainEngine, AudioStartsFirstAndStopsLast)
{
  HalfCalls calls;
  LogCapture log;
  {
    auto engine = MakeRecordingEngine(calls);
    engine->Start();
    // The web half starts with the audio engine already published.
    EXPECT_EQ(calls.Take(), (Calls{"audio.Start-", "web.Start+"}));
    EXPECT_EQ(gpAudioEngine.load(), MarkerAudioEngine());
    engine->Stop();
    // The audio engine is withdrawn before the audio half stops.
    EXPECT_EQ(calls.Take(), (Calls{"web.Stop+", "audio.Stop-"}));
    EXPECT_EQ(gpAudioEngine.load(), nullptr);
    // A second stop, and the destructor's, do nothing.
    engine->Stop();
  }
  EXPECT_TRUE(calls.Take().empty());
  EXPECT_EQ(log.Texts(), (Calls{"Starting audio input", "Starting web server", "Stopping web server",
                                "Stopping audio input"}));
}

TEST(MainEngine, RestartKeepsTheAudioEnginePublished)
{
  HalfCalls calls;
  auto engine = MakeRecordingEngine(calls);
  engine->Start();
  calls.Take();
  LogCapture log;
  engine->Control(kEngineCtlRestart, nullptr, 0);
  EXPECT_EQ(calls.Take(), (Calls{"web.Restart+", "audio.Restart+"}));
  EXPECT_EQ(log.Texts(), (Calls{"Restarting web server", "Restarting audio input"}));
  EXPECT_EQ(gpAudioEngine.load(), MarkerAudioEngine());
}

TEST(MainEngine, OtherCodesChangeNothing)
{
  HalfCalls calls;
  auto engine = MakeRecordingEngine(calls);
  engine->Start();
  calls.Take();
  const unsigned char data[4] = {1, 0, 0, 0};
  for (unsigned int code : {0u, 2u, 3u, 0x80000001u, 0xFFFFFFFFu})
    engine->Control(code, data, sizeof data);
  EXPECT_TRUE(calls.Take().empty());
  std::vector<unsigned char> out{9, 9};
  EXPECT_EQ(engine->ControlWithResult(1, nullptr, 0), 0);
  EXPECT_EQ(engine->ControlWithReturnData(1, nullptr, 0, out), 0);
  EXPECT_TRUE(out.empty());
}

TEST(MainEngine, DestroyingARunningEngineStopsIt)
{
  HalfCalls calls;
  {
    auto engine = MakeRecordingEngine(calls);
    engine->Start();
  }
  EXPECT_EQ(calls.Take(), (Calls{"audio.Start-", "web.Start+", "web.Stop+", "audio.Stop-"}));
  EXPECT_EQ(gpAudioEngine.load(), nullptr);
}

class CountingHandler : public LEngineNotifyHandler {
public:
  void EvEngineNotify(unsigned int code, const void*, unsigned int size) override
  {
    last_code = code;
    last_size = size;
    ++count;
  }
  unsigned int last_code = 0, last_size = 0;
  int count = 0;
};

// An engine that reports, to exercise the handler plumbing of the base.
class ReportingEngine : public LBackgroundEngine {
public:
  void Report(unsigned int code, unsigned int size) { Notify(code, nullptr, size); }
};

TEST(BackgroundEngine, NotificationsReachTheHandlerUntilInvalidated)
{
  ReportingEngine engine;
  CountingHandler handler;
  engine.Report(1, 1); // nobody listens: dropped
  engine.SetNotifyHandler(handler);
  engine.Report(7, 42);
  EXPECT_EQ(handler.count, 1);
  EXPECT_EQ(handler.last_code, 7u);
  EXPECT_EQ(handler.last_size, 42u);
  engine.InvalidateNotifyHandler();
  engine.Report(8, 0);
  EXPECT_EQ(handler.count, 1);
}

TEST(OpenWebPorts, NoticeOnceThenRecordsThePort)
{
  LogCapture log;
  MainEngineProxy::OpenWebPorts();
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].text.rfind("WebServer Starting: Velorin will now attempt to start its internal web server.", 0),
            0u)
      << log.Lines()[0].text;
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 85);
  log.Clear();
  MainEngineProxy::OpenWebPorts();
  EXPECT_TRUE(log.Lines().empty());
}

TEST(OpenWebPorts, PortsCompareAsSixteenBitNumbers)
{
  LogCapture log;
  LSettingSetInt("WebAccess", "ServerPort", 65536 + 85);
  LSettingSetInt("WebAccess", "PreviousServerPort", 85);
  MainEngineProxy::OpenWebPorts();
  EXPECT_TRUE(log.Lines().empty());
  LSettingSetInt("WebAccess", "ServerPort", 8080);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 8080);
}

class RecordingBoxes : public LMessageBoxes {
public:
  void Info(LWindow*, const char* primary, const char* secondary) override { seen = std::string("info ") + secondary + "|" + primary; }
  void InfoNoIcon(LWindow*, const char* primary, const char*) override { seen = std::string("plain ") + primary; }
  bool QueryYes(LWindow*, const char* primary, const char*) override
  {
    seen = std::string("query ") + primary;
    return true;
  }
  void Error(LWindow*, const char* text) override { seen = std::string("error ") + text; }
  std::string seen;
};

TEST(MessageBoxes, LogWithoutDisplayAndToolkitWhenInstalled)
{
  LogCapture log;
  EXPECT_FALSE(PopupBoxQueryYes(nullptr, "Continue?", "Question"));
  PopupBoxError(nullptr, "Broken");
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].level, LLogWarning);
  EXPECT_EQ(lines[1].text, "Broken");
  EXPECT_EQ(lines[1].level, LLogError);

  RecordingBoxes boxes;
  LSetMessageBoxes(&boxes);
  EXPECT_TRUE(PopupBoxQueryYes(nullptr, "Continue?", "Question"));
  EXPECT_EQ(boxes.seen, "query Continue?");
  PopupBoxInfo(nullptr, "p", "s");
  EXPECT_EQ(boxes.seen, "info s|p");
  LSetMessageBoxes(nullptr);
  log.Clear();
  PopupBoxInfoNoIcon(nullptr, "Uninstall finished", "Uninstall Complete");
  EXPECT_EQ(log.Texts(), (Calls{"Uninstall Complete: Uninstall finished"}));
}

} // namespace
