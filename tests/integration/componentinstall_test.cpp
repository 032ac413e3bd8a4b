// The components' installer scripts, run with bash as the server's install
// step runs them, inside the test's private /opt/ostrel.
#include <sys/stat.h>

#include "integration/componentkit.h"

using namespace componentkit;

namespace {

std::string Installer(const std::string& name) {
  return std::string(VELORIN_SOURCE_DIR) + "/components/" + name + "/" + name + ".component";
}
std::string Built(const std::string& name) {
  return std::string(VELORIN_BINARY_DIR) + "/components/" + name + "/" + name;
}

class ComponentInstallTest : public ::testing::Test {
protected:
  void SetUp() override {
    IgnoreBrokenPipes();
    // The isolated /opt/ostrel arrives with the components installed.
    std::filesystem::remove_all("/opt/ostrel/components");
    ASSERT_FALSE(dir_.Path().empty());
  }
  LTempDir dir_;
};

TEST_F(ComponentInstallTest, EachInstallerPutsItsProgramWhereTheServerLooks) {
  for (const std::string name : {"lyrenc", "tarnel", "wendrik"}) {
    SCOPED_TRACE(name);
    LRunResult r = RunProgram({"/bin/bash", Installer(name), Built(name)});
    ASSERT_TRUE(r.Exited(0)) << r.err;
    std::string installed = ComponentPath(name);
    struct stat status;
    ASSERT_EQ(stat(installed.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_EQ(ReadWholeFile(installed), ReadWholeFile(Built(name)));
    // It runs: a bad option gets the program's own answer.
    EXPECT_TRUE(RunProgram({installed, "--no-such-option"}).Exited(2));
  }
  EXPECT_EQ(FolderNames("/opt/ostrel/components"), (std::vector<std::string>{"lyrenc", "tarnel", "wendrik"}));
}

TEST_F(ComponentInstallTest, WithoutAnArgumentTheProgramBesideTheInstallerIsTaken) {
  // As installed with the server: NAME.component next to NAME.
  std::string script = dir_ / "wendrik.component";
  WriteWholeFile(script, ReadWholeFile(Installer("lyrenc")));
  std::filesystem::copy_file(Built("wendrik"), dir_ / "wendrik");
  LRunResult r = RunProgram({"/bin/bash", script});
  ASSERT_TRUE(r.Exited(0)) << r.err;
  EXPECT_EQ(ReadWholeFile(ComponentPath("wendrik")), ReadWholeFile(Built("wendrik")));
  EXPECT_FALSE(Exists("/opt/ostrel/components/lyrenc"));
}

TEST_F(ComponentInstallTest, AMissingProgramFailsAndInstallsNothing) {
  LRunResult r = RunProgram({"/bin/bash", Installer("lyrenc"), dir_ / "nothing-here"});
  EXPECT_TRUE(r.Exited(1));
  EXPECT_NE(r.err.find("nothing-here"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists("/opt/ostrel/components/lyrenc"));

  std::string script = dir_ / "tarnel.component";
  WriteWholeFile(script, ReadWholeFile(Installer("lyrenc")));
  r = RunProgram({"/bin/bash", script});
  EXPECT_TRUE(r.Exited(1));
  EXPECT_FALSE(Exists("/opt/ostrel/components/tarnel"));
}

TEST_F(ComponentInstallTest, ReinstallingWhileAnEncoderRunsLeavesItRunning) {
  ASSERT_TRUE(RunProgram({"/bin/bash", Installer("lyrenc"), Built("lyrenc")}).Exited(0));
  LChild encoder;
  ASSERT_TRUE(encoder.Start({ComponentPath("lyrenc"), "-m", "s", "-b", "56", "-r", "-x", "--silent", "-", "-"}));
  LRunResult again = RunProgram({"/bin/bash", Installer("lyrenc"), Built("lyrenc")});
  EXPECT_TRUE(again.Exited(0)) << again.err;
  std::string out, err;
  int status = encoder.Communicate(PcmBytes(Tone(44100, 44100, {440, 1000})), out, err);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
  EXPECT_GT(out.size(), 5000u);
}

}  // namespace
