#include <gtest/gtest.h>

#include "common/files.h"
#include "settings/datfile.h"
#include "settings/datfilecache.h"

namespace {

TEST(DatFile, MissingFileGivesDefaultsAndChangesRewriteTheFileAtOnce)
{
  LDatFile missing("/tmp/dat-missing.ini");
  char out[260];
  missing.GetText("Default", "num_clients", "none", out);
  EXPECT_STREQ(out, "none");
  EXPECT_EQ(missing.GetInt("Default", "num_clients", 9), 9);
  missing.RemoveItem("Default", "num_clients");
  EXPECT_FALSE(Exists("/tmp/dat-missing.ini"));

  const std::string path = "/tmp/dat-session.ini";
  WriteWhole(path,
             "ignored=before any section\n[Default]\nnum_clients=1\n\n[Client0]\nRestartStyleHint=3\nProgram=foo\n");
  LDatFile file(path.c_str());
  EXPECT_EQ(file.GetInt("default", "NUM_CLIENTS", 0), 1);
  file.SetInt("Default", "num_clients", 2);  // written at once: the service may be killed before exit
  EXPECT_EQ(ReadWhole(path),
            "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\nProgram=foo\r\n\r\n");
  file.SetText("Client1", "Program", "velorin");
  file.RemoveItem("client0", "program");
  EXPECT_EQ(ReadWhole(path), "[Default]\r\nnum_clients=2\r\n\r\n[Client0]\r\nRestartStyleHint=3\r\n\r\n"
                             "[Client1]\r\nProgram=velorin\r\n\r\n");
}

TEST(DatFile, LineRulesAndHostileFiles)
{
  const std::string path = "/tmp/dat-rules.ini";
  std::string hostile = "[S]\n" + std::string(5000, 'k') + "=" + std::string(5000, 'v') + "\n" +
                        std::string("a=1\0b=2\n", 8) + std::string(3u << 20, 'z');  // megabytes without a line end
  WriteWhole(path, "[A]\r\na=b=c\r\nnoequals\r\n key = v \r\nK=1\r\nk=2\r\n[B\r\nx=1\r\n[a]\r\nmore=yes\r\n" + hostile);
  LDatFile file(path.c_str());
  const struct {
    const char* section;
    std::string key;
    const char* value;
  } cases[] = {
      {"A", "a", "b=c"},    {"A", " key ", " v "},  // blanks belong to key and value
      {"A", "k", "2"},                              // a repeated key overwrites
      {"B", "x", "1"},                              // a section name without ] ends at the line end
      {"A", "more", "yes"},                         // a repeated section continues the first
  };
  char out[260];
  for (const auto& c : cases) {
    file.GetText(c.section, c.key.c_str(), "", out);
    EXPECT_STREQ(out, c.value) << c.key;
  }
  file.GetText("S", std::string(5000, 'k').c_str(), "", out);
  EXPECT_LE(std::string(out).size(), 259u);
  file.SetText("S", "new", std::string(400, 'n').c_str());
  file.GetText("S", "new", "", out);
  EXPECT_EQ(std::string(out), std::string(259, 'n'));
}

}  // namespace
