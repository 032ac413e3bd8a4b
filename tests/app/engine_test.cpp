// Engine control order, control codes, the first-start web port notice and
// the message boxes' fallback to the log.

#include "app/logcapture.h"
#include "app/mainengine.h"
#include "app/mainengineproxy.h"
#include "app/messagebox.h"
#include "app/servicehostfixture.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::string>;

TEST(MainEngine, AudioStartsFirstStopsLastAndStaysPublishedThroughRestarts) {
  HalfCalls calls;
  LogCapture log;
  auto engine = MakeRecordingEngine(calls);
  engine->Start();
  // The web half starts with the audio engine already published.
  EXPECT_EQ(calls.Take(), (Calls{"audio.Start-", "web.Start+"}));
  EXPECT_EQ(gpAudioEngine.load(), MarkerAudioEngine());
  engine->Control(kEngineCtlRestart, nullptr, 0);
  EXPECT_EQ(calls.Take(), (Calls{"web.Restart+", "audio.Restart+"}));
  // Other codes change nothing and answer 0 without data.
  const unsigned char data[4] = {1, 0, 0, 0};
  for (unsigned int code : {0u, 2u, 3u, 0x80000001u, 0xFFFFFFFFu})
    engine->Control(code, data, sizeof data);
  EXPECT_TRUE(calls.Take().empty());
  std::vector<unsigned char> out{9, 9};
  EXPECT_EQ(engine->ControlWithResult(1, nullptr, 0), 0);
  EXPECT_EQ(engine->ControlWithReturnData(1, nullptr, 0, out), 0);
  EXPECT_TRUE(out.empty());
  // The audio engine is withdrawn before the audio half stops; a second
  // stop, and the destructor's, do nothing.
  engine->Stop();
  EXPECT_EQ(calls.Take(), (Calls{"web.Stop+", "audio.Stop-"}));
  EXPECT_EQ(gpAudioEngine.load(), nullptr);
  engine->Stop();
  engine.reset();
  EXPECT_TRUE(calls.Take().empty());
  EXPECT_EQ(log.Texts(), (Calls{"Starting audio input", "Starting web server", "Restarting web server",
                                "Restarting audio input", "Stopping web server", "Stopping audio input"}));
  // Destroying a running engine stops it.
  MakeRecordingEngine(calls)->Start();
  EXPECT_EQ(calls.Take(), (Calls{"audio.Start-", "web.Start+", "web.Stop+", "audio.Stop-"}));
  EXPECT_EQ(gpAudioEngine.load(), nullptr);
}

// An engine that reports, to exercise the handler plumbing of the base.
struct ReportingEngine : LBackgroundEngine {
  void Report(unsigned int code, unsigned int size) { Notify(code, nullptr, size); }
};

struct CountingHandler : LEngineNotifyHandler {
  void EvEngineNotify(unsigned int code, const void*, unsigned int size) override { seen.push_back({code, size}); }
  std::vector<std::pair<unsigned int, unsigned int>> seen;
};

TEST(BackgroundEngine, NotificationsReachTheHandlerUntilInvalidated) {
  ReportingEngine engine;
  CountingHandler handler;
  engine.Report(1, 1); // nobody listens: dropped
  engine.SetNotifyHandler(handler);
  engine.Report(7, 42);
  engine.InvalidateNotifyHandler();
  engine.Report(8, 0);
  EXPECT_EQ(handler.seen, (std::vector<std::pair<unsigned int, unsigned int>>{{7, 42}}));
}

TEST(OpenWebPorts, NoticeOnceThenOnlyWhenThe16BitPortChanges) {
  LogCapture log;
  MainEngineProxy::OpenWebPorts();
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Texts()[0].rfind("WebServer Starting: Velorin will now attempt to start its internal web server.", 0), 0u)
      << log.Texts()[0];
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 85);
  MainEngineProxy::OpenWebPorts();
  LSettingSetInt("WebAccess", "ServerPort", 65536 + 85);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Lines().size(), 1u);
  LSettingSetInt("WebAccess", "ServerPort", 8080);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 8080);
}

struct RecordingBoxes : LMessageBoxes {
  void Info(LWindow*, const char* primary, const char* secondary) override { seen = std::string("info ") + secondary + "|" + primary; }
  void InfoNoIcon(LWindow*, const char* primary, const char*) override { seen = std::string("plain ") + primary; }
  bool QueryYes(LWindow*, const char* primary, const char*) override { return !(seen = std::string("query ") + primary).empty(); }
  void Error(LWindow*, const char* text) override { seen = std::string("error ") + text; }
  std::string seen;
};

TEST(MessageBoxes, LogWithoutDisplayAndToolkitWhenInstalled) {
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
