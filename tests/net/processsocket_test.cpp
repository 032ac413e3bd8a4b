#include "net/processsocket.h"

#include "base/processresult.h"
#include "base/ticks.h"
#include "net/loopback.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

using nettest::MakeTcpPair;
using nettest::StopAfter;
using nettest::StringWriter;
using nettest::TcpPair;
using nettest::WriteAll;

uint32_t Elapsed(uint32_t start)
{
  return GetTickCount() - start;
}

std::string Pattern(size_t n)
{
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// ---- Sending ----

TEST(ProcessSend, CutsIntoPiecesOf1024)
{
  // A packet socket keeps the boundary of every send, so the receiver sees
  // exactly the pieces the sender made.
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  LIPSocketTCP sender(fds[0]);
  LIPSocketTCP receiver(fds[1]);
  std::string data = Pattern(3000);
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessSend(never, sender, data.data(), 3000, 1000), kProcessDone);

  std::vector<size_t> pieces;
  std::string got;
  char buffer[4096];
  ssize_t n;
  while ((n = recv(receiver.GetSocket(), buffer, sizeof buffer, 0)) > 0) {
    pieces.push_back(static_cast<size_t>(n));
    got.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(pieces, (std::vector<size_t>{1024, 1024, 952}));
  EXPECT_EQ(got, data);
}

TEST(ProcessSend, EmptyAndStringForms)
{
  TcpPair p;
  MakeTcpPair(p);
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessSend(never, p.a, "", 0, 1000), kProcessDone);
  EXPECT_EQ(ProcessSendString(never, p.a, "GET / HTTP/1.0\r\n", 1000), kProcessDone);
  char buffer[64] = {};
  EXPECT_EQ(ProcessRecvBytes(never, p.b, buffer, 16, 1000), kProcessDone);
  EXPECT_STREQ(buffer, "GET / HTTP/1.0\r\n");
}

TEST(ProcessSend, StalledPeerFailsAfterIdleBudget)
{
  TcpPair p;
  MakeTcpPair(p);
  int small = 4096;
  setsockopt(p.a.GetSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  setsockopt(p.b.GetSocket(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  // Far more than both buffers hold; the peer never reads.
  std::vector<char> data(32u << 20, 'x');
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, data.data(), static_cast<unsigned int>(data.size()), 600), kProcessFailed);
  uint32_t took = Elapsed(start);
  // Three idle slices of 200 ms use up 600 ms.
  EXPECT_GE(took, 550u);
  EXPECT_LT(took, 2500u);
}

TEST(ProcessSend, ClosedPeerFailsWithoutSignal)
{
  TcpPair p;
  MakeTcpPair(p);
  p.b.Close();
  // SIGPIPE would end this test program; the send must fail instead.
  std::vector<char> data(4u << 20, 'x');
  LProcessInterfaceVoid never;
  LProcessResult r = kProcessDone;
  for (int i = 0; i < 5 && r == kProcessDone; ++i)
    r = ProcessSend(never, p.a, data.data(), static_cast<unsigned int>(data.size()), 2000);
  EXPECT_EQ(r, kProcessFailed);
}

TEST(ProcessSend, StopIsAskedBeforeEverySend)
{
  TcpPair p;
  MakeTcpPair(p);
  StopAfter stopNow(0);
  EXPECT_EQ(ProcessSendString(stopNow, p.a, "x", 1000), kProcessStopped);
  // Nothing was sent.
  char c;
  EXPECT_EQ(recv(p.b.GetSocket(), &c, 1, 0), -1);

  // Stops after the second piece of three.
  StopAfter stopLater(2);
  std::string data = Pattern(3000);
  EXPECT_EQ(ProcessSend(stopLater, p.a, data.data(), 3000, 1000), kProcessStopped);
  char buffer[4096];
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessRecvBytes(never, p.b, buffer, 2048, 1000), kProcessDone);
  EXPECT_EQ(std::string(buffer, 2048), data.substr(0, 2048));
}

TEST(ProcessSend, InvalidSocketFails)
{
  LIPSocketTCP none;
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessSendString(never, none, "x", 1000), kProcessFailed);
}

// ---- Receiving bytes ----

TEST(ProcessRecvBytes, PeerClosingEarlyFails)
{
  TcpPair p;
  MakeTcpPair(p);
  WriteAll(p.b.GetSocket(), "abcd");
  p.b.Close();
  char buffer[10];
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 10, 5000), kProcessFailed);
  EXPECT_LT(Elapsed(start), 1000u) << "a close must end the wait, not the time-out";
  EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST(ProcessRecvBytes, CollectsSeveralSendsExactly)
{
  TcpPair p;
  MakeTcpPair(p);
  WriteAll(p.b.GetSocket(), "0123");
  WriteAll(p.b.GetSocket(), "456789AB");
  char buffer[10];
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 10, 1000), kProcessDone);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  // The two bytes beyond the request stay queued.
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 2, 1000), kProcessDone);
  EXPECT_EQ(std::string(buffer, 2), "AB");
}

TEST(ProcessRecvBytes, SilentPeerTimesOut)
{
  TcpPair p;
  MakeTcpPair(p);
  char buffer[4];
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.a, buffer, 4, 400), kProcessFailed);
  uint32_t took = Elapsed(start);
  EXPECT_GE(took, 350u);
  EXPECT_LT(took, 1500u);
}

TEST(ProcessRecvBytes, ClosedDescriptorFailsAtOnce)
{
  LIPSocketTCP none;
  char buffer[4];
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, none, buffer, 4, 5000), kProcessFailed);
  EXPECT_LT(Elapsed(start), 1000u);
}

TEST(ProcessRecvReady, ZeroSizeAndPartialReads)
{
  LIPSocketTCP none;
  LProcessInterfaceVoid never;
  unsigned int received = 99;
  char buffer[16];
  EXPECT_EQ(ProcessRecvReady(never, none, buffer, 0, received, 1000), kProcessDone);
  EXPECT_EQ(received, 0u);

  TcpPair p;
  MakeTcpPair(p);
  WriteAll(p.b.GetSocket(), "hello");
  EXPECT_EQ(ProcessRecvReady(never, p.a, buffer, sizeof buffer, received, 1000), kProcessDone);
  EXPECT_EQ(std::string(buffer, received), "hello");
  p.b.Close();
  EXPECT_EQ(ProcessRecvReady(never, p.a, buffer, sizeof buffer, received, 1000), kProcessFailed);
  EXPECT_EQ(received, 0u);
}

TEST(ProcessWaitForDataOrClose, ReadyOnDataOrCloseStoppedOnRequest)
{
  TcpPair p;
  MakeTcpPair(p);
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessWaitForDataOrClose(never, p.a, 200), kProcessFailed);
  StopAfter stop(0);
  EXPECT_EQ(ProcessWaitForRecvReady(stop, p.a, 5000), kProcessStopped);
  // The stop is asked between slices: two slices, then the stop.
  StopAfter stopLater(2);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessWaitForDataOrClose(stopLater, p.a, 5000), kProcessStopped);
  EXPECT_GE(Elapsed(start), 350u);
  p.b.Close();
  EXPECT_EQ(ProcessWaitForDataOrClose(never, p.a, 5000), kProcessDone);
}

// ---- Receiving lines ----

class RecvLine : public ::testing::Test {
protected:
  void SetUp() override { MakeTcpPair(p); }
  LProcessResult Line(std::string& out, int timeout = 1000)
  {
    StringWriter w;
    LProcessInterfaceVoid never;
    LProcessResult r = ProcessRecvLineToWriter(never, p.a, w, timeout);
    out = w.text;
    return r;
  }
  TcpPair p;
};

TEST_F(RecvLine, RequestLinesWithoutCrLfAndRestStaysQueued)
{
  WriteAll(p.b.GetSocket(), "GET / HTTP/1.0\r\nHost: x\r\n\r\nBODY");
  std::string line;
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, "GET / HTTP/1.0");
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, "Host: x");
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, "");
  char body[4];
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessRecvBytes(never, p.a, body, 4, 1000), kProcessDone);
  EXPECT_EQ(std::string(body, 4), "BODY");
}

TEST_F(RecvLine, LongLinesSpanSeveralPeeks)
{
  // 79 characters put the CR last in the first 80-byte peek and the LF
  // first in the next one.
  std::string a = Pattern(79);
  std::string b = Pattern(300);
  WriteAll(p.b.GetSocket(), a + "\r\n" + b + "\nnext\n");
  std::string line;
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, a);
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, b);
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, "next");
}

TEST_F(RecvLine, FixedBufferKeeps259AndConsumesTheRest)
{
  std::string longLine = Pattern(300);
  WriteAll(p.b.GetSocket(), longLine + "\r\nHost: x\r\n");
  char line[260];
  memset(line, '#', sizeof line);
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone);
  EXPECT_EQ(std::string(line), longLine.substr(0, 259));
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessDone);
  EXPECT_STREQ(line, "Host: x");
  p.b.Close();
  EXPECT_EQ(ProcessRecvLine(never, p.a, line, 1000), kProcessFailed);
  EXPECT_STREQ(line, "");
}

TEST_F(RecvLine, LastLineWithoutFeedThenClose)
{
  WriteAll(p.b.GetSocket(), "tail");
  p.b.Close();
  std::string line;
  EXPECT_EQ(Line(line), kProcessDone);
  EXPECT_EQ(line, "tail");
  EXPECT_EQ(Line(line), kProcessFailed);
  EXPECT_EQ(line, "");
}

TEST_F(RecvLine, SilentPeerTimesOutAndStopEndsWait)
{
  std::string line;
  uint32_t start = GetTickCount();
  EXPECT_EQ(Line(line, 400), kProcessFailed);
  EXPECT_GE(Elapsed(start), 350u);

  StringWriter w;
  StopAfter stop(1);
  EXPECT_EQ(ProcessRecvLineToWriter(stop, p.a, w, 5000), kProcessStopped);
}

} // namespace
