// The role decision of the entry point and the command-line accessors.  (The
// control header's wire layout is checked by the service host's tests, whose
// client encodes and decodes it on its own.)

#include "app/commandline.h"
#include "app/runmode.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RunMode, ChosenFromArgumentOneTheProgramNameAndTheDisplay) {
  struct Case {
    std::vector<const char*> argv;
    bool display;
    LRunMode expected;
  };
  using M = LRunMode;
  const Case cases[] = {
      {{"/usr/sbin/velorind"}, false, M::Service}, {{"velorin", "-service"}, false, M::Service},
      {{"velorin", "-install"}, false, M::InstallConsole}, {{"velorin", "-uninstall"}, false, M::UninstallConsole},
      // Only argument 1 is a switch, exactly; the rest cannot open a window.
      {{"velorin", "-logon"}, false, M::NoDisplay}, {{"velorin", "-foo", "-service"}, false, M::NoDisplay},
      {{"velorin", ""}, false, M::NoDisplay}, {{"velorin", "-Service"}, false, M::NoDisplay},
      // A setup-named program without a display has no window to skip.
      {{"/tmp/velorinsetup", "-x"}, false, M::NoDisplay}, {{"velorin"}, true, M::Desktop},
      {{"velorin", "-service"}, true, M::Service}, {{"velorin", "-install"}, true, M::InstallWizard},
      {{"velorin", "-uninstall"}, true, M::UninstallWizard}, {{"velorin", "-logon"}, true, M::Desktop},
      {{"/opt/x/velorinsetup"}, true, M::SetupExit}, {{"setup"}, true, M::SetupExit},
      // Case-sensitive, only the file name counts, and switches come first.
      {{"/opt/x/VelorinSetup"}, true, M::Desktop}, {{"/opt/setup/velorin"}, true, M::Desktop},
      {{"/opt/x/velorinsetup", "-install"}, true, M::InstallWizard},
      {{"/opt/x/velorinsetup", "-service"}, true, M::Service},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LChooseRunMode(static_cast<int>(c.argv.size()), c.argv.data(), c.display), c.expected)
        << c.argv[0] << " " << (c.argv.size() > 1 ? c.argv[1] : "") << (c.display ? " with" : " without") << " display";
  // argc 0: a program started with an empty argument vector.
  const char* none[] = {nullptr};
  EXPECT_EQ(LChooseRunMode(0, none, false), LRunMode::Service);
  EXPECT_EQ(LChooseRunMode(0, none, true), LRunMode::Desktop);

  const char* logon[] = {"velorin", "-logon", "x"};
  const char* other[] = {"velorin", "-x"};
  EXPECT_TRUE(LIsLogonDelayed(2, logon, true));
  EXPECT_FALSE(LIsLogonDelayed(2, logon, false));
  EXPECT_FALSE(LIsLogonDelayed(3, logon, true));
  EXPECT_FALSE(LIsLogonDelayed(2, other, true));
  EXPECT_FALSE(LIsLogonDelayed(1, logon, true));
}

TEST(CommandLine, AccessorsAndOutOfRange) {
  char a0[] = "/opt/ostrel/velorin/bin/velorin", a1[] = "-service";
  char* argv[] = {a0, a1, nullptr};
  LSetCommandLine(2, argv);
  EXPECT_EQ(LGetCommandLineArgumentCount(), 2);
  EXPECT_STREQ(LGetCommandLineRunExe(), a0);
  EXPECT_STREQ(LGetCommandLineArgument(1), "-service");
  EXPECT_STREQ(LGetCommandLineArgument(2), "");
  EXPECT_STREQ(LGetCommandLineArgument(-1), "");
  LSetCommandLine(0, nullptr);
  EXPECT_EQ(LGetCommandLineArgumentCount(), 0);
  EXPECT_STREQ(LGetCommandLineRunExe(), "");
}

} // namespace
