// The cooperative socket and pipe operations: exact bytes, ends, and time-outs as lower bounds only.
#include "net/processconnect.h"
#include "net/processpipe.h"
#include "net/processsocket.h"

#include "common/loopback.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using nettest::Since;

LProcessInterfaceVoid never;
constexpr uint32_t kSoon = 5000;  // "at once", on a loaded machine

TEST(ProcessSocket, LinesExactCountsEndsTimeOutsAndConnects)
{
  nettest::TcpPair p;
  char line[260], body[10];
  nettest::StopAfter stop(2);
  EXPECT_EQ(ProcessRecvLine(stop, p.a, line, 60000), kProcessStopped);
  EXPECT_EQ(ProcessWaitForDataOrClose(never, p.a, 200), kProcessFailed);
  // 79 characters put the CR last in the first 80-byte peek.
  std::string a(79, 'a'), b(300, 'b');
  p.Write("GET / HTTP/1.0\r\n\r\n" + a + "\r\n" + b + "\nHost: x\r\nBODY\ntail");
  p.b.Close();
  nettest::StringWriter w;
  for (std::string expected : {std::string("GET / HTTP/1.0"), std::string(), a, b, std::string("Host: x")}) {
    w.text.clear();
    EXPECT_EQ(ProcessRecvLineToWriter(never, p.a, w, 1000), kProcessDone);
    EXPECT_EQ(w.text, expected);
  }
  EXPECT_EQ(ProcessRecvBytes(never, p.a, body, 5, 1000), kProcessDone);
  EXPECT_EQ(std::string(body, 5), "BODY\n");
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone) << "the last line needs no feed";
  EXPECT_STREQ(line, "tail");
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 60000), kProcessFailed);
  EXPECT_STREQ(line, "");
  // 4 of 10 bytes, then the peer closes: a failure without the time-out.
  nettest::TcpPair q;
  q.Write("abcd");
  q.b.Close();
  EXPECT_EQ(ProcessRecvBytes(never, q.a, body, 10, 60000), kProcessFailed);
  EXPECT_EQ(std::string(body, 4), "abcd");
  EXPECT_LT(Since(start), kSoon);
  // Control pipes: either end closing fails the other at once, without SIGPIPE.
  nettest::PipePair pipe, closed;
  ASSERT_EQ(ProcessSend(never, pipe.a, "0123456789AB", 12, 1000), kProcessDone);
  EXPECT_EQ(ProcessRecvBytes(never, pipe.b, body, 8, 5000), kProcessDone);
  EXPECT_EQ(std::string(body, 8), "01234567");
  pipe.a.Close();
  closed.b.Close();
  start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, pipe.b, body, 8, 60000), kProcessFailed);
  EXPECT_EQ(std::string(body, 4), "89AB");
  EXPECT_EQ(ProcessSend(never, closed.a, "x", 1, 60000), kProcessFailed);
  EXPECT_LT(Since(start), kSoon);
  // A second connect replaces and closes the first; a refusal ends the wait at once.
  auto to = [](unsigned short port) { return LIPAddressWithPort(LIPAddress("127.0.0.1"), port); };
  nettest::Listener first, second;
  LIPSocketTCP s;
  ASSERT_EQ(ProcessConnect(never, s, to(first.Port()), 2000), kProcessDone);
  LIPSocketTCP firstServer(first.Accept());
  ASSERT_EQ(ProcessConnect(never, s, to(second.Port()), 2000), kProcessDone);
  LIPSocketTCP secondServer(second.Accept());
  ASSERT_EQ(ProcessSendString(never, s, "ping", 1000), kProcessDone);
  EXPECT_EQ(ProcessRecvBytes(never, secondServer, body, 4, 1000), kProcessDone);
  EXPECT_EQ(ProcessRecvBytes(never, firstServer, body, 1, 2000), kProcessFailed) << "the first was not closed";
  start = GetTickCount();
  EXPECT_EQ(ProcessConnect(never, s, to(nettest::FreePort()), 60000), kProcessFailed);
  EXPECT_LT(Since(start), kSoon);
  EXPECT_EQ(s.GetSocket(), -1);
}

}  // namespace
