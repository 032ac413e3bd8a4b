#include "net/processconnect.h"

#include "base/processresult.h"
#include "base/ticks.h"
#include "net/loopback.h"
#include "net/processsocket.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <vector>

namespace {

using nettest::FreePort;
using nettest::Listener;
using nettest::StopAfter;

uint32_t Elapsed(uint32_t start)
{
  return GetTickCount() - start;
}

LIPAddressWithPort Loopback(unsigned short port)
{
  return LIPAddressWithPort(LIPAddress("127.0.0.1"), port);
}

// True when the accepted side of l gets bytes sent from s.
bool Reaches(Listener& l, LIPSocketTCP& s)
{
  LIPSocketTCP server(l.Accept());
  LProcessInterfaceVoid never;
  if (ProcessSendString(never, s, "ping", 1000) != kProcessDone)
    return false;
  char buffer[4];
  return ProcessRecvBytes(never, server, buffer, 4, 1000) == kProcessDone &&
         std::string(buffer, 4) == "ping";
}

TEST(ProcessConnect, ConnectsAndReplacesAnEarlierConnection)
{
  Listener first;
  Listener second;
  LIPSocketTCP s;
  LProcessInterfaceVoid never;
  ASSERT_EQ(ProcessConnect(never, s, Loopback(first.Port()), 2000), kProcessDone);
  LIPSocketTCP firstServer(first.Accept());

  ASSERT_EQ(ProcessConnect(never, s, Loopback(second.Port()), 2000), kProcessDone);
  EXPECT_TRUE(Reaches(second, s));
  // The first connection was closed, not leaked: its peer reads the end.
  char c;
  EXPECT_EQ(ProcessRecvBytes(never, firstServer, &c, 1, 2000), kProcessFailed);
}

TEST(ProcessConnect, RefusedOrInvalidLeavesSocketClosed)
{
  LProcessInterfaceVoid never;
  Listener l;
  LIPSocketTCP s;
  ASSERT_EQ(ProcessConnect(never, s, Loopback(l.Port()), 2000), kProcessDone);

  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, Loopback(FreePort()), 5000), kProcessFailed);
  EXPECT_LT(Elapsed(start), 2000u) << "a refusal must end the wait, not the time-out";
  EXPECT_EQ(s.GetSocket(), -1);

  EXPECT_EQ(ProcessConnect(never, s, LIPAddressWithPort(LIPAddress("255.255.255.255"), l.Port()), 2000),
            kProcessFailed);
  EXPECT_EQ(s.GetSocket(), -1);
}

// A listener whose accept queue is full drops further connection requests,
// so a connect to it stays in progress.
class PendingConnect : public ::testing::Test {
protected:
  void SetUp() override
  {
    LProcessInterfaceVoid never;
    for (auto& f : fillers_)
      ProcessConnect(never, f, Loopback(full_.Port()), 300);
    LIPSocketTCP probe;
    if (LConnectBegin(probe, Loopback(full_.Port())) != LConnectStep::InProgress ||
        LConnectWait(probe, 300) != LWaitResult::TimedOut)
      GTEST_SKIP() << "this system completes connects to a full accept queue";
  }
  Listener full_{"127.0.0.1", 0};
  LIPSocketTCP fillers_[3];
};

TEST_F(PendingConnect, TimesOutAfterIdleBudget)
{
  LIPSocketTCP s;
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, Loopback(full_.Port()), 600), kProcessFailed);
  uint32_t took = Elapsed(start);
  EXPECT_GE(took, 550u);
  EXPECT_LT(took, 2000u);
  EXPECT_EQ(s.GetSocket(), -1);
}

TEST_F(PendingConnect, StopRequestEndsWait)
{
  LIPSocketTCP s;
  StopAfter stop(1);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessConnect(stop, s, Loopback(full_.Port()), 10000), kProcessStopped);
  EXPECT_LT(Elapsed(start), 1000u);
  EXPECT_EQ(stop.asked, 2);
  EXPECT_EQ(s.GetSocket(), -1);
}

class ConnectByName : public ::testing::Test {
protected:
  void SetUp() override
  {
    if (!nettest::Isolated())
      GTEST_SKIP() << "needs the isolated test runner";
    // 127.0.0.2 has nothing listening: the first address refuses.
    ASSERT_TRUE(nettest::UseHostsFile("127.0.0.1 localhost\n"
                                      "127.0.0.2 twohost\n127.0.0.1 twohost\n"
                                      "127.0.0.2 deadhost\n127.0.0.3 deadhost\n"));
  }
  Listener l_{"127.0.0.1"};
};

TEST_F(ConnectByName, FirstRefusingThenSecond)
{
  LIPSocketTCP s;
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessConnect(never, s, "twohost", l_.Port(), 2000), kProcessDone);
  EXPECT_TRUE(Reaches(l_, s));

  // A port in the host text replaces the given one.
  std::string withPort = "twohost:" + std::to_string(l_.Port());
  EXPECT_EQ(ProcessConnect(never, s, withPort.c_str(), 1, 2000), kProcessDone);
  EXPECT_TRUE(Reaches(l_, s));
}

TEST_F(ConnectByName, EveryAddressRefusingOrNoneFails)
{
  LIPSocketTCP s;
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessConnect(never, s, "deadhost", l_.Port(), 2000), kProcessFailed);
  EXPECT_EQ(s.GetSocket(), -1);

  ASSERT_EQ(ProcessConnect(never, s, "twohost", l_.Port(), 2000), kProcessDone);
  EXPECT_EQ(ProcessConnect(never, s, LIPAddressMultiHomedWithPort("unknown-name.invalid", 80), 2000),
            kProcessFailed);
  EXPECT_EQ(s.GetSocket(), -1);
}

TEST(ProcessDisconnect, ClosesAndIsRepeatable)
{
  Listener l;
  LIPSocketTCP s;
  LProcessInterfaceVoid never;
  ASSERT_EQ(ProcessConnect(never, s, Loopback(l.Port()), 2000), kProcessDone);
  LIPSocketTCP server(l.Accept());
  EXPECT_EQ(ProcessDisconnect(never, s, 5000), kProcessDone);
  EXPECT_EQ(s.GetSocket(), -1);
  EXPECT_EQ(ProcessDisconnect(never, s, 5000), kProcessDone);
  char c;
  EXPECT_EQ(ProcessRecvBytes(never, server, &c, 1, 2000), kProcessFailed);
}

} // namespace
