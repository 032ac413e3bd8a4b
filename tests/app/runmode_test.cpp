// The role decision of the entry point, the command-line accessors and the
// control pipe's wire layout.

#include "app/commandline.h"
#include "app/controlmessage.h"
#include "app/runmode.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RunModeCase {
  std::vector<const char*> argv;
  bool display;
  LRunMode expected;
};

LRunMode Choose(const RunModeCase& c)
{
  return LChooseRunMode(static_cast<int>(c.argv.size()), c.argv.data(), c.display);
}

TEST(RunMode, WithoutDisplay)
{
  const RunModeCase cases[] = {
      {{"/usr/sbin/velorind"}, false, LRunMode::Service},
      {{"velorin", "-service"}, false, LRunMode::Service},
      {{"velorin", "-install"}, false, LRunMode::InstallConsole},
      {{"velorin", "-uninstall"}, false, LRunMode::UninstallConsole},
      // Only argument 1 is a switch; the rest cannot open a window.
      {{"velorin", "-logon"}, false, LRunMode::NoDisplay},
      {{"velorin", "-foo", "-service"}, false, LRunMode::NoDisplay},
      {{"velorin", ""}, false, LRunMode::NoDisplay},
      {{"velorin", "-Service"}, false, LRunMode::NoDisplay},
      // A setup-named program without a display has no window to skip.
      {{"/tmp/velorinsetup", "-x"}, false, LRunMode::NoDisplay},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Choose(c), c.expected) << c.argv.size() << " args, argv[1]=" << (c.argv.size() > 1 ? c.argv[1] : "-");
}

TEST(RunMode, WithDisplay)
{
  const RunModeCase cases[] = {
      {{"velorin"}, true, LRunMode::Desktop},
      {{"velorin", "-service"}, true, LRunMode::Service},
      {{"velorin", "-install"}, true, LRunMode::InstallWizard},
      {{"velorin", "-uninstall"}, true, LRunMode::UninstallWizard},
      {{"velorin", "-logon"}, true, LRunMode::Desktop},
      {{"/opt/x/velorinsetup"}, true, LRunMode::SetupExit},
      {{"setup"}, true, LRunMode::SetupExit},
      // Case-sensitive, and only the file name counts.
      {{"/opt/x/VelorinSetup"}, true, LRunMode::Desktop},
      {{"/opt/setup/velorin"}, true, LRunMode::Desktop},
      // The switches come before the setup check.
      {{"/opt/x/velorinsetup", "-install"}, true, LRunMode::InstallWizard},
      {{"/opt/x/velorinsetup", "-service"}, true, LRunMode::Service},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Choose(c), c.expected) << c.argv[0] << " " << (c.argv.size() > 1 ? c.argv[1] : "");
}

TEST(RunMode, NoArgumentsAtAll)
{
  // argc 0 (a program started with an empty argument vector).
  const char* none[] = {nullptr};
  EXPECT_EQ(LChooseRunMode(0, none, false), LRunMode::Service);
  EXPECT_EQ(LChooseRunMode(0, none, true), LRunMode::Desktop);
}

TEST(RunMode, LogonDelay)
{
  const char* logon[] = {"velorin", "-logon"};
  const char* logon_more[] = {"velorin", "-logon", "x"};
  const char* other[] = {"velorin", "-x"};
  EXPECT_TRUE(LIsLogonDelayed(2, logon, true));
  EXPECT_FALSE(LIsLogonDelayed(2, logon, false));
  EXPECT_FALSE(LIsLogonDelayed(3, logon_more, true));
  EXPECT_FALSE(LIsLogonDelayed(2, other, true));
  EXPECT_FALSE(LIsLogonDelayed(1, logon, true));
}

TEST(CommandLine, AccessorsAndOutOfRange)
{
  char a0[] = "/opt/ostrel/velorin/bin/velorin";
  char a1[] = "-service";
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

TEST(ControlHeader, WireLayoutIsLittleEndian)
{
  unsigned char bytes[kControlHeaderSize];
  LEncodeControlHeader(LMakeControlHeader(0x8001, 0x04030201u, 0x0000ABCDu, 0xFFFFFFFEu), bytes);
  const unsigned char expected[kControlHeaderSize] = {0x34, 0x12, 0x01, 0x80, 0x01, 0x02, 0x03, 0x04,
                                                      0xCD, 0xAB, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF};
  for (unsigned int i = 0; i < kControlHeaderSize; ++i)
    EXPECT_EQ(bytes[i], expected[i]) << "byte " << i;

  const LControlHeader back = LDecodeControlHeader(expected);
  EXPECT_EQ(back.magic, 0x1234);
  EXPECT_EQ(back.type, 0x8001);
  EXPECT_EQ(back.code, 0x04030201u);
  EXPECT_EQ(back.size, 0xABCDu);
  EXPECT_EQ(back.tag, 0xFFFFFFFEu);
}

} // namespace
