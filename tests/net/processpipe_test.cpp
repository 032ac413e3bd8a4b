#include "net/processpipe.h"

#include "base/ticks.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

uint32_t Elapsed(uint32_t start)
{
  return GetTickCount() - start;
}

// Both ends of a control pipe: a connected pair of Unix stream sockets,
// non-blocking like the ones the service accepts.
struct PipePair {
  PipePair()
  {
    int fds[2] = {-1, -1};
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    LNamedPipe x(fds[0]);
    LNamedPipe y(fds[1]);
    a.Assign(x);
    b.Assign(y);
  }
  LNamedPipe a;
  LNamedPipe b;
};

TEST(PipeSendRecv, MessageRoundTripLeavesTheRestQueued)
{
  PipePair p;
  LProcessInterfaceVoid never;
  const char header[16] = {0x34, 0x12, 1, 0, 5, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0};
  ASSERT_EQ(ProcessSend(never, p.a, header, 16, 1000), kProcessDone);
  ASSERT_EQ(ProcessSend(never, p.a, "xyz", 3, 1000), kProcessDone);
  EXPECT_EQ(ProcessSend(never, p.a, "", 0, 1000), kProcessDone);
  char got[16];
  ASSERT_EQ(ProcessRecvBytes(never, p.b, got, 16, 1000), kProcessDone);
  EXPECT_EQ(memcmp(got, header, 16), 0);
  ASSERT_EQ(ProcessRecvBytes(never, p.b, got, 2, 1000), kProcessDone);
  EXPECT_EQ(std::string(got, 2), "xy");
  ASSERT_EQ(ProcessRecvBytes(never, p.b, got, 1, 1000), kProcessDone);
  EXPECT_EQ(got[0], 'z');
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 0, 1000), kProcessDone);
}

TEST(PipeSendRecv, EndOfStreamFailsAtOnce)
{
  PipePair p;
  LProcessInterfaceVoid never;
  ASSERT_EQ(ProcessSend(never, p.a, "abcd", 4, 1000), kProcessDone);
  p.a.Close();
  char got[16];
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 16, 5000), kProcessFailed);
  EXPECT_LT(Elapsed(start), 1000u);

  LNamedPipe closed;
  EXPECT_EQ(ProcessRecvBytes(never, closed, got, 1, 5000), kProcessFailed);
  EXPECT_EQ(ProcessSend(never, closed, "x", 1, 5000), kProcessFailed);
  EXPECT_LT(Elapsed(start), 1000u);
}

TEST(PipeSendRecv, SilentPeerTimesOut)
{
  PipePair p;
  LProcessInterfaceVoid never;
  char got[4];
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 4, 400), kProcessFailed);
  uint32_t took = Elapsed(start);
  EXPECT_GE(took, 350u);
  EXPECT_LT(took, 1500u);
}

TEST(PipeSendRecv, SendToStalledOrClosedPeerFails)
{
  PipePair p;
  LProcessInterfaceVoid never;
  std::vector<char> data(16u << 20, 'x');
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, data.data(), static_cast<unsigned int>(data.size()), 400), kProcessFailed);
  uint32_t took = Elapsed(start);
  EXPECT_GE(took, 350u);
  EXPECT_LT(took, 2500u);

  // A closed reader must not raise SIGPIPE.
  p.b.Close();
  EXPECT_EQ(ProcessSend(never, p.a, "x", 1, 1000), kProcessFailed);
}

} // namespace
