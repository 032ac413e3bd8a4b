#include "settings/datfile.h"
#include "settings/datfilecache.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DatFile, MissingFileGivesDefaultsAndLeavesNoFile)
{
  LDatFile file("/tmp/dat-missing.ini");
  char out[260];
  file.GetText("Default", "num_clients", "none", out);
  EXPECT_STREQ(out, "none");
  EXPECT_EQ(file.GetInt("Default", "num_clients", 9), 9);
  file.RemoveItem("Default", "num_clients");
  EXPECT_FALSE(Exists("/tmp/dat-missing.ini"));
}

TEST(DatFile, ChangeRewritesInCacheOrderWithOtherSectionsKept)
{
  const std::string path = "/tmp/dat-session.ini";
  WriteWhole(path, "ignored=before any section\n[Default]\nnum_clients=1\n\n[Client0]\nRestartStyleHint=3\n"
                   "Program=foo\n");
  LDatFile file(path.c_str());
  EXPECT_EQ(file.GetInt("default", "NUM_CLIENTS", 0), 1);
  file.SetInt("Default", "num_clients", 2);
  // Written at once (the service may be killed before exit).
  EXPECT_EQ(ReadWhole(path), "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\nProgram=foo\r\n\r\n");

  file.SetText("Client1", "Program", "velorin");
  file.RemoveItem("client0", "program");
  EXPECT_EQ(ReadWhole(path), "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\n\r\n"
                             "[Client1]\r\nProgram=velorin\r\n\r\n");
}

TEST(DatFile, LineRules)
{
  const std::string path = "/tmp/dat-rules.ini";
  WriteWhole(path, "[A]\r\na=b=c\r\nnoequals\r\n key = v \r\nK=1\r\nk=2\r\n[B\r\nx=1\r\n[a]\r\nmore=yes\r\n");
  LDatFile file(path.c_str());
  char out[260];
  file.GetText("A", "a", "", out);
  EXPECT_STREQ(out, "b=c");
  file.GetText("A", " key ", "", out);
  EXPECT_STREQ(out, " v ") << "blanks belong to key and value";
  EXPECT_EQ(file.GetInt("A", "k", 0), 2) << "a repeated key overwrites";
  EXPECT_EQ(file.GetInt("B", "x", 0), 1) << "a section name without ] ends at the line end";
  file.GetText("A", "more", "", out);
  EXPECT_STREQ(out, "yes") << "a repeated section continues the first";
}

TEST(DatFile, HostileFilesDoNotCrash)
{
  const std::string path = "/tmp/dat-hostile.ini";
  std::string text = "[S]\n" + std::string(5000, 'k') + "=" + std::string(5000, 'v') + "\n";
  text += std::string("a=1\0b=2\n", 8);
  text += std::string(3u << 20, 'z');  // megabytes without a line end
  WriteWhole(path, text);
  LDatFile file(path.c_str());
  char out[260];
  file.GetText("S", std::string(5000, 'k').c_str(), "", out);
  EXPECT_LE(std::string(out).size(), 259u);
  file.SetText("S", "new", std::string(400, 'n').c_str());
  file.GetText("S", "new", "", out);
  EXPECT_EQ(std::string(out), std::string(259, 'n'));
}

}  // namespace
