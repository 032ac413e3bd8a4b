// The run mode and command line, engine control order and codes, the
// first-start web port notice and the message boxes' fallback to the log.
#include "app/commandline.h"
#include "app/logcapture.h"
#include "app/mainengine.h"
#include "app/mainengineproxy.h"
#include "app/messagebox.h"
#include "app/runmode.h"
#include "app/servicehostfixture.h"
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

TEST(MainEngine, AudioStartsFirstStopsLastAndStaysPublishedThroughRestarts)
{
  HalfCalls calls;
  LogCapture log;
  auto engine = MakeRecordingEngine(calls);
  engine->Start();
  // The web half starts with the audio engine already published.
  EXPECT_EQ(calls.Take(), (Calls{"audio.Start-", "web.Start+"}));
  EXPECT_EQ(gpAudioEngine.load(), MarkerAudioEngine());
  engine->Control(kEngineCtlRestart, nullptr, 0);
  EXPECT_EQ(calls.Take(), (Calls{"web.Restart+", "audio.Restart+"}));
  // Other codes change nothing (their answers: EngineProxy.ServiceMode...).
  const unsigned char data[4] = {1, 0, 0, 0};
  for (unsigned int code : {0u, 2u, 3u, 0x80000001u, 0xFFFFFFFFu})
    engine->Control(code, data, sizeof data);
  EXPECT_TRUE(calls.Take().empty());
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
  MakeRecordingEngine(calls)->Start();
  EXPECT_EQ(calls.Take(), (Calls{"audio.Start-", "web.Start+", "web.Stop+", "audio.Stop-"}));
  EXPECT_EQ(gpAudioEngine.load(), nullptr);
}

struct ReportingEngine : LBackgroundEngine {
  void Report(unsigned int code) { Notify(code, nullptr, code + 1); }
};

struct CountingHandler : LEngineNotifyHandler {
  void EvEngineNotify(unsigned int code, const void*, unsigned int size) override { seen += code * 100 + size; }
  unsigned int seen = 0;
};

TEST(BackgroundEngine, NotificationsReachTheHandlerUntilInvalidated)
{
  ReportingEngine engine;
  CountingHandler handler;
  engine.Report(1);  // nobody listens: dropped
  engine.SetNotifyHandler(handler);
  engine.Report(7);
  engine.InvalidateNotifyHandler();
  engine.Report(8);
  EXPECT_EQ(handler.seen, 708u);
}

TEST(OpenWebPorts, NoticeOnceThenOnlyWhenThe16BitPortChanges)
{
  LogCapture log;
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(
      log.Texts().at(0).rfind("WebServer Starting: Velorin will now attempt to start its internal web server.", 0), 0u)
      << log.Texts()[0];
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 85);
  MainEngineProxy::OpenWebPorts();
  LSettingSetInt("WebAccess", "ServerPort", 65536 + 85);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Lines().size(), 1u) << "the same port, or one equal in 16 bits, gives no second notice";
  LSettingSetInt("WebAccess", "ServerPort", 8080);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 8080);
}

TEST(MessageBoxes, WithoutAToolkitTheyGoToTheLog)
{
  LogCapture log;
  EXPECT_FALSE(PopupBoxQueryYes(nullptr, "Continue?", "Question"));
  PopupBoxError(nullptr, "Broken");
  PopupBoxInfoNoIcon(nullptr, "Uninstall finished", "Uninstall Complete");
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].text + std::to_string(lines[0].level) + std::to_string(lines[1].level) + lines[2].text,
            "Broken" + std::to_string(LLogWarning) + std::to_string(LLogError) +
                "Uninstall Complete: Uninstall finished");
}

TEST(RunMode, ChosenFromArgumentOneTheProgramNameAndTheDisplay)
{
  struct Case {
    std::vector<const char*> argv;
    bool display;
    LRunMode expected;
  };
  using M = LRunMode;
  // Only argument 1 is a switch, exactly and case-sensitive; only the program's file name counts.
  const Case cases[] = {
      {{"/usr/sbin/velorind"}, false, M::Service},
      {{"velorin", "-service"}, false, M::Service},
      {{"velorin", "-install"}, false, M::InstallConsole},
      {{"velorin", "-uninstall"}, false, M::UninstallConsole},
      {{"velorin", "-logon"}, false, M::NoDisplay},
      {{"velorin", "-foo", "-service"}, false, M::NoDisplay},
      {{"velorin", "-Service"}, false, M::NoDisplay},
      {{"velorin"}, true, M::Desktop},
      {{"velorin", "-service"}, true, M::Service},
      {{"velorin", "-install"}, true, M::InstallWizard},
      {{"velorin", "-uninstall"}, true, M::UninstallWizard},
      {{"/opt/x/velorinsetup"}, true, M::SetupExit},
      {{"/opt/x/VelorinSetup"}, true, M::Desktop},
      {{"/opt/setup/velorin"}, true, M::Desktop},
      {{"/opt/x/velorinsetup", "-install"}, true, M::InstallWizard},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LChooseRunMode(static_cast<int>(c.argv.size()), c.argv.data(), c.display), c.expected)
        << c.argv[0] << " " << (c.argv.size() > 1 ? c.argv[1] : "") << (c.display ? " with" : " without") << " display";
  // argc 0: a program started with an empty argument vector.
  const char* none[] = {nullptr};
  EXPECT_EQ(LChooseRunMode(0, none, false), LRunMode::Service);
  EXPECT_EQ(LChooseRunMode(0, none, true), LRunMode::Desktop);
}

TEST(CommandLine, AccessorsAndOutOfRange)
{
  char a0[] = "/opt/ostrel/velorin/bin/velorin", a1[] = "-service";
  char* argv[] = {a0, a1, nullptr};
  LSetCommandLine(2, argv);
  EXPECT_EQ(std::to_string(LGetCommandLineArgumentCount()) + LGetCommandLineRunExe() + LGetCommandLineArgument(1) +
                LGetCommandLineArgument(2) + LGetCommandLineArgument(-1),
            "2/opt/ostrel/velorin/bin/velorin-service");
  LSetCommandLine(0, nullptr);
  EXPECT_EQ(std::to_string(LGetCommandLineArgumentCount()) + LGetCommandLineRunExe(), "0");
}

}  // namespace
