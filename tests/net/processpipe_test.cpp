#include "net/processpipe.h"

#include "net/loopback.h"
#include "net/pipepair.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using nettest::PipePair;
using nettest::Since;

LProcessInterfaceVoid never;

TEST(PipeSendRecv, WholeMessagesTimeOutsAndErrors)
{
  PipePair p;
  char got[16];
  ASSERT_EQ(ProcessSend(never, p.a, "0123456789", 10, 1000), kProcessDone);
  ASSERT_EQ(ProcessRecvBytes(never, p.b, got, 4, 1000), kProcessDone);
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got + 4, 8, 400), kProcessFailed) << "6 of 8 bytes";
  EXPECT_GE(Since(start), 350u);
  EXPECT_EQ(std::string(got, 10), "0123456789");

  std::vector<char> data(16u << 20, 'x');
  start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, data.data(), unsigned(data.size()), 400), kProcessFailed);
  EXPECT_GE(Since(start), 350u);
  EXPECT_LT(Since(start), 2500u);

  // The reader's end: a failure at once, and no SIGPIPE for the writer.
  p.b.Close();
  start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, "x", 1, 5000), kProcessFailed);
  LNamedPipe closed;
  EXPECT_EQ(ProcessRecvBytes(never, closed, got, 1, 5000), kProcessFailed);
  EXPECT_EQ(ProcessSend(never, closed, "x", 1, 5000), kProcessFailed);
  EXPECT_LT(Since(start), 1000u);
}

TEST(PipeSendRecv, WriterClosingMidMessageFailsAtOnce)
{
  PipePair p;
  ASSERT_EQ(ProcessSend(never, p.a, "abcd", 4, 1000), kProcessDone);
  p.a.Close();
  char got[16];
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessRecvBytes(never, p.b, got, 16, 5000), kProcessFailed);
  EXPECT_LT(Since(start), 1000u);
}

} // namespace
