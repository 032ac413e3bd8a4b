#include "web/websession.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::string Folder()
{
  char folder[260];
  return LWebletGetSessionFolder(folder);
}

std::string PathOf(const std::string& file)
{
  return Folder() + "/" + file;
}

void Write(const std::string& file, const std::string& text, time_t modified = 0)
{
  std::ofstream(PathOf(file), std::ios::binary) << text;
  if (modified != 0) {
    timespec times[2] = {{modified, 0}, {modified, 0}};
    utimensat(AT_FDCWD, PathOf(file).c_str(), times, 0);
  }
}

std::string Read(const std::string& file)
{
  std::ifstream in(PathOf(file), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& file)
{
  struct stat st;
  return stat(PathOf(file).c_str(), &st) == 0;
}

class WebSession : public ::testing::Test {
protected:
  void SetUp() override
  {
    std::string command = "rm -rf '" + Folder() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Folder();  // made again
  }
};

} // namespace

TEST_F(WebSession, LoadReadsTheFileAndAChangeIsWrittenBackOnDestruction)
{
  Write("abc.sess", "a=1&b=2");
  {
    LWebletSessionData session;
    session.LoadSession("abc");
    EXPECT_STREQ(session.GetSessionName(), "abc");
    EXPECT_EQ(session.GetSessionPath(), PathOf("abc.sess"));
    EXPECT_STREQ(session.GetParm("b", ""), "2");
    session.SetParm("c", "3");
  }
  EXPECT_EQ(Read("abc.sess"), "c=3&a=1&b=2");
}

TEST_F(WebSession, UnchangedSessionLeavesItsFileAlone)
{
  time_t old = time(nullptr) - 1000;
  Write("keep.sess", "a=1", old);
  {
    LWebletSessionData session;
    session.LoadSession("keep");
    EXPECT_STREQ(session.GetParm("a", ""), "1");
  }
  struct stat st;
  ASSERT_EQ(stat(PathOf("keep.sess").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, old);
  EXPECT_EQ(Read("keep.sess"), "a=1");
}

TEST_F(WebSession, NewSessionNamesAndStoredOrder)
{
  std::string name;
  {
    LWebletSessionData session;
    session.CreateNewSession();
    name = session.GetSessionName();
    session.SetInt("a", 1);
    session.SetParm("b", "two words");
  }
  ASSERT_GE(name.size(), 9u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(name[i] >= 'a' && name[i] <= 'z') << name;
  }
  EXPECT_GE(std::atoi(name.c_str() + 8), 1) << name;
  EXPECT_EQ(Read(name + ".sess"), "b=two%20words&a=1");

  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    char fresh[260];
    LWebletMakeSessionName(fresh);
    names.insert(fresh);
  }
  EXPECT_EQ(names.size(), 50u);  // the counter alone keeps them apart
}

TEST_F(WebSession, ADirtySessionFileIsEmptyUntilFlushed)
{
  Write("s.sess", "a=1");
  LWebletSessionData session;
  session.LoadSession("s");
  session.DeleteParm("a");
  session.SetParm("z", "9");
  EXPECT_EQ(Read("s.sess"), "");  // truncated at the first change
  session.FlushSession();
  EXPECT_EQ(Read("s.sess"), "z=9");
  session.FlushSession();  // nothing open any more: nothing rewritten
  EXPECT_EQ(Read("s.sess"), "z=9");
}

TEST_F(WebSession, SweepDeletesOnlyExpiredSessionFiles)
{
  time_t now = time(nullptr);
  Write("old.sess", "", now - 86401);
  Write("edge.sess", "", now - 86400);  // exactly a day: not yet
  Write("old.txt", "", now - 200000);   // not a session file
  Write("new.sess", "", now);
  mkdir(PathOf("folder.sess").c_str(), 0777);
  LWebletSweepSessions(Folder().c_str(), now);
  EXPECT_FALSE(Exists("old.sess"));
  EXPECT_TRUE(Exists("edge.sess"));
  EXPECT_TRUE(Exists("old.txt"));
  EXPECT_TRUE(Exists("new.sess"));
  EXPECT_TRUE(Exists("folder.sess"));
}

TEST_F(WebSession, AnExpiredFileIsDeletedBeforeItsOwnSessionLoads)
{
  Write("late.sess", "a=1", time(nullptr) - 86401);
  LWebletSessionData session;
  session.LoadSession("late");
  EXPECT_EQ(session.GetCount(), 0u);
  EXPECT_FALSE(Exists("late.sess"));
}

TEST_F(WebSession, EmptyNameMeansNoSessionAndNoFile)
{
  LWebletSessionData session;
  session.LoadSession("");
  session.SetParm("a", "1");
  session.FlushSession();
  EXPECT_STREQ(session.GetSessionPath(), "");
  EXPECT_STREQ(session.GetParm("a", ""), "1");  // kept in memory only
}

TEST_F(WebSession, NameTooLongForAPathCannotReachAnotherFile)
{
  // Cut at 259 characters, folder/<name>.sess would lose its extension and
  // name this static file, which a change to the session would empty.
  std::string folder = Folder();
  std::string victim(259 - folder.size() - 1, 'v');
  Write(victim, "keep me");
  std::string name = victim + "xx";
  {
    LWebletSessionData session;
    session.LoadSession(name.c_str());
    EXPECT_STREQ(session.GetSessionName(), "");
    session.SetParm("a", "1");
  }
  EXPECT_EQ(Read(victim), "keep me");
}
