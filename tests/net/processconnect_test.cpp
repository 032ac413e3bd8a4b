#include "net/processconnect.h"

#include "net/loopback.h"
#include "net/processsocket.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using nettest::Listener;
using nettest::Since;

LProcessInterfaceVoid never;

LIPAddressWithPort Loopback(unsigned short port) { return LIPAddressWithPort(LIPAddress("127.0.0.1"), port); }

// True when bytes sent on s arrive at l's next accepted connection.
bool Reaches(Listener& l, LIPSocketTCP& s)
{
  LIPSocketTCP server(l.Accept());
  char buffer[4];
  return ProcessSendString(never, s, "ping", 1000) == kProcessDone &&
         ProcessRecvBytes(never, server, buffer, 4, 1000) == kProcessDone && std::string(buffer, 4) == "ping";
}

TEST(ProcessConnect, ConnectReplacesAndFailureCloses)
{
  Listener first, second;
  LIPSocketTCP s;
  ASSERT_EQ(ProcessConnect(never, s, Loopback(first.Port()), 2000), kProcessDone);
  LIPSocketTCP firstServer(first.Accept());
  ASSERT_EQ(ProcessConnect(never, s, Loopback(second.Port()), 2000), kProcessDone);
  EXPECT_TRUE(Reaches(second, s));
  char c;
  EXPECT_EQ(ProcessRecvBytes(never, firstServer, &c, 1, 2000), kProcessFailed) << "the first was not closed";

  // A refusal ends the wait at once, however it is reported.
  unsigned short closedPort = Listener().Port();
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, Loopback(closedPort), 5000), kProcessFailed);
  EXPECT_LT(Since(start), 2000u);
  EXPECT_EQ(s.GetSocket(), -1);

  ASSERT_EQ(ProcessConnect(never, s, Loopback(second.Port()), 2000), kProcessDone);
  EXPECT_EQ(ProcessConnect(never, s, LIPAddressWithPort(LIPAddress("255.255.255.255"), 80), 2000), kProcessFailed);
  EXPECT_EQ(s.GetSocket(), -1);
  EXPECT_EQ(ProcessDisconnect(never, s, 5000), kProcessDone);
}

TEST(ProcessConnect, PendingConnectTimesOut)
{
  // A full accept queue drops further requests, so the connect stays
  // in progress.
  Listener full("127.0.0.1", 0);
  LIPSocketTCP fillers[3], probe, s;
  for (auto& f : fillers)
    ProcessConnect(never, f, Loopback(full.Port()), 300);
  if (LConnectBegin(probe, Loopback(full.Port())) != LConnectStep::InProgress ||
      LConnectWait(probe, 300) != LWaitResult::TimedOut)
    GTEST_SKIP() << "this system completes connects to a full accept queue";
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, Loopback(full.Port()), 600), kProcessFailed);
  EXPECT_GE(Since(start), 550u);
  EXPECT_LT(Since(start), 2000u);
  EXPECT_EQ(s.GetSocket(), -1);
}

TEST(ProcessConnect, ByNameTriesAddressesInOrder)
{
  // Nothing listens on 127.0.0.2: the first address refuses.
  if (!nettest::UseHostsFile("127.0.0.2 twohost\n127.0.0.1 twohost\n127.0.0.2 deadhost\n127.0.0.3 deadhost\n"))
    GTEST_SKIP() << "needs the isolated test runner";
  Listener l("127.0.0.1");
  LIPSocketTCP s;
  EXPECT_EQ(ProcessConnect(never, s, "twohost", l.Port(), 2000), kProcessDone);
  EXPECT_TRUE(Reaches(l, s));
  std::string withPort = "twohost:" + std::to_string(l.Port());
  EXPECT_EQ(ProcessConnect(never, s, withPort.c_str(), 1, 2000), kProcessDone);
  EXPECT_TRUE(Reaches(l, s));

  EXPECT_EQ(ProcessConnect(never, s, "deadhost", l.Port(), 2000), kProcessFailed);
  EXPECT_EQ(s.GetSocket(), -1);
  ASSERT_EQ(ProcessConnect(never, s, "twohost", l.Port(), 2000), kProcessDone);
  EXPECT_EQ(ProcessConnect(never, s, "unknown-name.invalid", l.Port(), 2000), kProcessFailed);
  EXPECT_EQ(s.GetSocket(), -1);
}

} // namespace
