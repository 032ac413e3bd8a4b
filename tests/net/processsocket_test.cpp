// The cooperative socket and pipe operations: exact bytes, ends, and time-outs as lower bounds only.
#include "net/processconnect.h"
#include "net/processpipe.h"
#include "net/processsocket.h"

#include "common/loopback.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

using nettest::Listener;
using nettest::Since;

LProcessInterfaceVoid never;
constexpr uint32_t kSoon = 5000;  // "at once", on a loaded machine

LIPAddressWithPort Loopback(unsigned short port)
{
  return LIPAddressWithPort(LIPAddress("127.0.0.1"), port);
}

TEST(ProcessRecv, LinesExactCountsEndsAndTimeOuts)
{
  nettest::TcpPair p;
  char line[260];
  nettest::StopAfter stop(2);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvLine(stop, p.a, line, 60000), kProcessStopped);
  EXPECT_GE(Since(start), 350u) << "two slices, then the stop";
  EXPECT_EQ(ProcessWaitForDataOrClose(never, p.a, 200), kProcessFailed);
  // 79 characters put the CR last in the first 80-byte peek.
  std::string a(79, 'a'), b(300, 'b');
  p.Write("GET / HTTP/1.0\r\n\r\n" + a + "\r\n" + b + "\nHost: x\r\nBODY\ntail");
  p.b.Close();
  nettest::StringWriter w;
  for (std::string expected : {std::string("GET / HTTP/1.0"), std::string(), a, b}) {
    w.text.clear();
    EXPECT_EQ(ProcessRecvLineToWriter(never, p.a, w, 1000), kProcessDone);
    EXPECT_EQ(w.text, expected);
  }
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone);
  EXPECT_STREQ(line, "Host: x");
  char body[10];
  EXPECT_EQ(ProcessRecvBytes(never, p.a, body, 5, 1000), kProcessDone);
  EXPECT_EQ(std::string(body, 5), "BODY\n");
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone) << "the last line needs no feed";
  EXPECT_STREQ(line, "tail");
  start = GetTickCount();
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 60000), kProcessFailed);
  EXPECT_STREQ(line, "");
  // 4 of 10 bytes, then the peer closes: a failure without the time-out.
  nettest::TcpPair q;
  q.Write("abcd");
  q.b.Close();
  EXPECT_EQ(ProcessRecvBytes(never, q.a, body, 10, 60000), kProcessFailed);
  EXPECT_EQ(std::string(body, 4), "abcd");
  EXPECT_LT(Since(start), kSoon);
}

TEST(PipeSendRecv, WholeMessagesTimeOutsAndEnds)
{
  nettest::PipePair p;
  char got[8];
  ASSERT_EQ(ProcessSend(never, p.a, "0123", 4, 1000), kProcessDone);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 8, 400), kProcessFailed) << "4 of 8 bytes";
  EXPECT_GE(Since(start), 350u);
  // The rest of a message fills only what is left of the buffer.
  std::thread rest([&] { ::Sleep(200), ProcessSend(never, p.a, "456789AB", 8, 1000); });
  ASSERT_EQ(ProcessSend(never, p.a, "0123", 4, 1000), kProcessDone);
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 8, 5000), kProcessDone);
  rest.join();
  EXPECT_EQ(std::string(got, 8), "01234567");
  ASSERT_EQ(ProcessRecvBytes(never, p.b, got, 4, 1000), kProcessDone);
  EXPECT_EQ(std::string(got, 4), "89AB");
  // Either end closing fails the other at once, without SIGPIPE.
  ASSERT_EQ(ProcessSend(never, p.a, "ab", 2, 1000), kProcessDone);
  p.a.Close();
  start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 8, 60000), kProcessFailed);
  nettest::PipePair q;
  q.b.Close();
  EXPECT_EQ(ProcessSend(never, q.a, "x", 1, 60000), kProcessFailed);
  EXPECT_LT(Since(start), kSoon);
}

TEST(ProcessConnect, ReplacesClosesOnFailureAndTimesOut)
{
  Listener first, second;
  LIPSocketTCP s;
  ASSERT_EQ(ProcessConnect(never, s, Loopback(first.Port()), 2000), kProcessDone);
  LIPSocketTCP firstServer(first.Accept());
  ASSERT_EQ(ProcessConnect(never, s, Loopback(second.Port()), 2000), kProcessDone);
  LIPSocketTCP secondServer(second.Accept());
  char c[4];
  ASSERT_EQ(ProcessSendString(never, s, "ping", 1000), kProcessDone);
  EXPECT_EQ(ProcessRecvBytes(never, secondServer, c, 4, 1000), kProcessDone);
  EXPECT_EQ(ProcessRecvBytes(never, firstServer, c, 1, 2000), kProcessFailed) << "the first was not closed";
  // A refusal ends the wait at once, however it is reported.
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, Loopback(nettest::FreePort()), 60000), kProcessFailed);
  EXPECT_LT(Since(start), kSoon);
  EXPECT_EQ(s.GetSocket(), -1);
  // A full accept queue drops further requests: the connect stays pending.
  Listener full("127.0.0.1", 0);
  LIPSocketTCP fillers[3], probe;
  for (auto& f : fillers)
    ProcessConnect(never, f, Loopback(full.Port()), 300);
  if (LConnectBegin(probe, Loopback(full.Port())) != LConnectStep::InProgress ||
      LConnectWait(probe, 300) != LWaitResult::TimedOut)
    GTEST_SKIP() << "this system completes connects to a full accept queue";
  start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, Loopback(full.Port()), 600), kProcessFailed);
  EXPECT_GE(Since(start), 550u);
  EXPECT_EQ(s.GetSocket(), -1);
}

}  // namespace
