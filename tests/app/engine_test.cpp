// The run mode, engine control order and the first-start web port notice.
#include "app/logcapture.h"
#include "app/mainengineproxy.h"
#include "app/runmode.h"
#include "app/servicehostfixture.h"
#include "settings/settings.h"

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
  // The audio engine is withdrawn before its half stops; a second stop, and the destructor's, do nothing.
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

TEST(OpenWebPorts, NoticeOnceThenOnlyWhenThePortChanges)
{
  LogCapture log;
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Texts().at(0).substr(0, 78),
            "WebServer Starting: Velorin will now attempt to start its internal web server.");
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 85);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Texts().size(), 1u) << "the same port gives no second notice";
  LSettingSetInt("WebAccess", "ServerPort", 8080);
  MainEngineProxy::OpenWebPorts();
  EXPECT_EQ(log.Texts().size(), 2u);
  EXPECT_EQ(LSettingGetInt("WebAccess", "PreviousServerPort", 0), 8080);
}

TEST(RunMode, ChosenFromArgumentOneTheProgramNameAndTheDisplay)
{
  using M = LRunMode;
  // Only argument 1 is a switch, exactly and case-sensitive; only the program's file name counts.
  const std::tuple<std::vector<const char*>, bool, LRunMode> cases[] = {
      {{"velorin", "-foo", "-service"}, false, M::NoDisplay},
      {{"velorin", "-Service"}, false, M::NoDisplay},
      {{"velorin", "-install"}, true, M::InstallWizard},
      {{"velorin", "-uninstall"}, true, M::UninstallWizard},
      {{"/opt/x/VelorinSetup"}, true, M::Desktop},
      {{"/opt/setup/velorin"}, true, M::Desktop},
      {{"/opt/x/velorinsetup", "-install"}, true, M::InstallWizard},
  };
  for (const auto& [argv, display, expected] : cases)
    EXPECT_EQ(LChooseRunMode(static_cast<int>(argv.size()), argv.data(), display), expected) << argv.back() << display;
  // argc 0: a program started with an empty argument vector.
  const char* none[] = {nullptr};
  EXPECT_EQ(LChooseRunMode(0, none, false), LRunMode::Service);
  EXPECT_EQ(LChooseRunMode(0, none, true), LRunMode::Desktop);
}

}  // namespace
