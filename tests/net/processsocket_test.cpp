#include "net/processsocket.h"

#include "net/loopback.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using nettest::Since;
using nettest::StopAfter;
using nettest::TcpPair;

std::string Pattern(size_t n)
{
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('a' + i % 26);
  return s;
}

LProcessInterfaceVoid never;

TEST(ProcessSend, CutsIntoPiecesOf1024)
{
  // A packet socket keeps the boundary of every send.
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  LIPSocketTCP sender(fds[0]), receiver(fds[1]);
  std::string data = Pattern(3000), got;
  EXPECT_EQ(ProcessSend(never, sender, data.data(), 3000, 1000), kProcessDone);
  std::vector<ssize_t> pieces;
  char buffer[4096];
  for (ssize_t n; (n = recv(receiver.GetSocket(), buffer, sizeof buffer, 0)) > 0; got.append(buffer, n))
    pieces.push_back(n);
  EXPECT_EQ(pieces, (std::vector<ssize_t>{1024, 1024, 952}));
  EXPECT_EQ(got, data);
}

TEST(ProcessSend, StalledPeerFailsAfterIdleBudget)
{
  TcpPair p;
  p.Buffers(4096);
  std::vector<char> data(32u << 20, 'x');
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, data.data(), unsigned(data.size()), 600), kProcessFailed);
  EXPECT_GE(Since(start), 550u);  // three idle slices
  EXPECT_LT(Since(start), 2500u);
}

TEST(ProcessSend, ClosedPeerFailsWithoutSignal)
{
  TcpPair p;
  p.b.Close();
  // SIGPIPE would end this program.
  std::vector<char> data(4u << 20, 'x');
  LProcessResult r = kProcessDone;
  for (int i = 0; i < 5 && r == kProcessDone; ++i)
    r = ProcessSend(never, p.a, data.data(), unsigned(data.size()), 2000);
  EXPECT_EQ(r, kProcessFailed);
  LIPSocketTCP none;
  EXPECT_EQ(ProcessSendString(never, none, "x", 1000), kProcessFailed);
}

TEST(ProcessSend, StopIsAskedBeforeEverySend)
{
  TcpPair p;
  StopAfter stopNow(0), stopLater(2);
  EXPECT_EQ(ProcessSendString(stopNow, p.a, "x", 1000), kProcessStopped);
  std::string data = Pattern(3000);
  EXPECT_EQ(ProcessSend(stopLater, p.a, data.data(), 3000, 1000), kProcessStopped);
  char buffer[4096];
  ssize_t n = recv(p.b.GetSocket(), buffer, sizeof buffer, 0);
  EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), data.substr(0, 2048)) << "two pieces, nothing before";
}

TEST(ProcessRecv, ExactCountsEndsAndTimeOuts)
{
  TcpPair p;
  char buffer[10];
  p.Write("0123");
  p.Write("456789AB");
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 10, 1000), kProcessDone);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");

  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 4, 400), kProcessFailed);
  EXPECT_GE(Since(start), 350u);

  // 4 of 10 bytes, then the peer closes: a failure, without the time-out.
  p.Write("abcd");
  p.b.Close();
  start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 10, 5000), kProcessFailed);
  EXPECT_LT(Since(start), 1000u);
  EXPECT_EQ(std::string(buffer, 4), "abcd");

  unsigned int received = 9;
  EXPECT_EQ(ProcessRecvReady(never, p.a, buffer, 0, received, 1000), kProcessDone);
  EXPECT_EQ(received, 0u);
  LIPSocketTCP none;
  EXPECT_EQ(ProcessRecvBytes(never, none, buffer, 4, 5000), kProcessFailed);
  EXPECT_LT(Since(start), 1000u);
}

TEST(ProcessRecvLine, LinesWithoutCrLfCutTo259RestQueued)
{
  TcpPair p;
  // 79 characters put the CR last in the first 80-byte peek.
  std::string a = Pattern(79), b = Pattern(300);
  p.Write("GET / HTTP/1.0\r\n\r\n" + a + "\r\n" + b + "\nHost: x\r\n" + b + "\r\nBODY\ntail");
  p.b.Close();
  nettest::StringWriter w;
  for (std::string expected : {std::string("GET / HTTP/1.0"), std::string(), a, b}) {
    w.text.clear();
    EXPECT_EQ(ProcessRecvLineToWriter(never, p.a, w, 1000), kProcessDone);
    EXPECT_EQ(w.text, expected);
  }
  char line[260];
  for (std::string expected : {std::string("Host: x"), b.substr(0, 259)}) {
    EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone);
    EXPECT_EQ(line, expected);
  }
  char body[5];
  EXPECT_EQ(ProcessRecvBytes(never, p.a, body, 5, 1000), kProcessDone);
  EXPECT_EQ(std::string(body, 5), "BODY\n");
  // The last line needs no feed; after it the end is a failure.
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone);
  EXPECT_STREQ(line, "tail");
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessFailed);
  EXPECT_STREQ(line, "");
}

TEST(ProcessRecvLine, StopAndTimeOutWhileWaiting)
{
  TcpPair p;
  char line[260];
  StopAfter stop(2);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvLine(stop, p.a, line, 5000), kProcessStopped);
  EXPECT_GE(Since(start), 350u);  // two slices, then the stop
  EXPECT_EQ(ProcessWaitForDataOrClose(never, p.a, 200), kProcessFailed);
  p.b.Close();
  EXPECT_EQ(ProcessWaitForRecvReady(never, p.a, 5000), kProcessDone);
}

} // namespace
