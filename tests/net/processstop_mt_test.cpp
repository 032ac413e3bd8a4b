// Cooperative operations answering their owner from another thread: stop
// requests within one slice, slow peers, and the thread forms of the pipe
// operations and waits.

#include "base/processresult.h"
#include "base/signalobject.h"
#include "base/ticks.h"
#include "net/loopback.h"
#include "net/processcommand.h"
#include "net/processconnect.h"
#include "net/processpipe.h"
#include "net/processsocket.h"
#include "net/processwait.h"
#include "net/worker.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using nettest::MakeTcpPair;
using nettest::StopFlag;
using nettest::TcpPair;
using nettest::Worker;

// One slice of 200 ms, with room for a loaded machine and sanitizers.
constexpr uint32_t kAnswerMs = 450;

// Runs op on a second thread, asks it to stop after 300 ms and returns how
// long the answer took; result receives what op returned.
template <class Op>
uint32_t StopAfterStart(Op op, LProcessResult& result)
{
  StopFlag flag;
  std::atomic<uint32_t> endedAt{0};
  std::thread t([&] {
    result = op(flag);
    endedAt.store(GetTickCount());
  });
  ::Sleep(300);
  uint32_t stoppedAt = GetTickCount();
  flag.stop.store(true);
  t.join();
  EXPECT_NE(endedAt.load(), 0u) << "the operation ended before the stop";
  return endedAt.load() - stoppedAt;
}

TEST(StopRequests, AnsweredWithinOneSlice)
{
  TcpPair p;
  MakeTcpPair(p);
  int small = 4096;
  setsockopt(p.a.GetSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  setsockopt(p.b.GetSocket(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  LProcessResult r;

  EXPECT_LT(StopAfterStart([&](StopFlag& f) { return ProcessWaitForDataOrClose(f, p.a, 60000); }, r), kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);

  char buffer[16];
  EXPECT_LT(StopAfterStart([&](StopFlag& f) { return ProcessRecvBytes(f, p.a, buffer, 16, 60000); }, r), kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);

  nettest::StringWriter line;
  EXPECT_LT(StopAfterStart([&](StopFlag& f) { return ProcessRecvLineToWriter(f, p.a, line, 60000); }, r),
            kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);

  std::vector<char> data(32u << 20, 'x');
  EXPECT_LT(StopAfterStart(
                [&](StopFlag& f) {
                  return ProcessSend(f, p.a, data.data(), static_cast<unsigned int>(data.size()), 60000);
                },
                r),
            kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);
}

TEST(StopRequests, PendingConnectIsAbandoned)
{
  nettest::Listener full("127.0.0.1", 0);
  LProcessInterfaceVoid never;
  LIPSocketTCP fillers[3];
  for (auto& f : fillers)
    ProcessConnect(never, f, LIPAddressWithPort(LIPAddress("127.0.0.1"), full.Port()), 300);
  LIPSocketTCP s;
  LProcessResult r;
  uint32_t took = StopAfterStart(
      [&](StopFlag& f) {
        return ProcessConnect(f, s, LIPAddressWithPort(LIPAddress("127.0.0.1"), full.Port()), 60000);
      },
      r);
  if (r == kProcessDone)
    GTEST_SKIP() << "this system completes connects to a full accept queue";
  EXPECT_LT(took, kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);
  EXPECT_EQ(s.GetSocket(), -1);
}

TEST(IdleBudget, SlowButSteadyReaderIsNotATimeOut)
{
  TcpPair p;
  MakeTcpPair(p);
  int buffer = 64 * 1024;
  setsockopt(p.a.GetSocket(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  setsockopt(p.b.GetSocket(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  constexpr size_t kTotal = 2 * 1024 * 1024;
  std::string data(kTotal, 0);
  for (size_t i = 0; i < kTotal; ++i)
    data[i] = static_cast<char>(i * 7);

  // Reads 8 KB every 5 ms: well over the time-out in all, but the sender
  // rarely if ever waits a whole slice.
  std::string received;
  std::atomic<bool> senderDone{false};
  std::thread reader([&] {
    char chunk[8192];
    uint32_t start = GetTickCount();
    while (received.size() < kTotal && GetTickCount() - start < 20000) {
      ssize_t n = recv(p.b.GetSocket(), chunk, sizeof chunk, 0);
      if (n > 0)
        received.append(chunk, static_cast<size_t>(n));
      else if (n == 0 || errno != EAGAIN || senderDone)
        break;
      ::Sleep(5);
    }
  });
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, data.data(), kTotal, 1000), kProcessDone);
  uint32_t took = GetTickCount() - start;
  senderDone = true;
  reader.join();
  EXPECT_EQ(received, data);
  EXPECT_GT(took, 1000u) << "the reader was not slow enough to test the budget";
}

// ---- Thread forms ----

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

TEST(ThreadPipeRecv, MessageInPiecesThenStopThenEnd)
{
  PipePair p;
  char got[16] = {};
  LNamedPipeRef reader = p.b;
  Worker w([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 16); });
  w.StartNormal();
  LProcessInterfaceVoid never;
  ASSERT_EQ(ProcessSend(never, p.a, "0123456789", 10, 1000), kProcessDone);
  ::Sleep(100);
  EXPECT_EQ(w.WaitResult(0), -1) << "returned before the whole message";
  ASSERT_EQ(ProcessSend(never, p.a, "abcdef", 6, 1000), kProcessDone);
  EXPECT_EQ(w.WaitResult(2000), kProcessDone);
  EXPECT_EQ(std::string(got, 16), "0123456789abcdef");

  // No time-out: only the stop ends the wait, and at once.
  Worker waiting([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 16); });
  waiting.StartNormal();
  ::Sleep(300);
  EXPECT_EQ(waiting.WaitResult(0), -1);
  uint32_t stoppedAt = GetTickCount();
  waiting.StopThreadNow();
  EXPECT_EQ(waiting.WaitResult(0), kProcessStopped);
  EXPECT_LT(waiting.EndedAt() - stoppedAt, kAnswerMs);

  Worker ending([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 16); });
  ending.StartNormal();
  ASSERT_EQ(ProcessSend(never, p.a, "xy", 2, 1000), kProcessDone);
  p.a.Close();
  EXPECT_EQ(ending.WaitResult(2000), kProcessFailed);
}

TEST(ThreadPipeRecv, TimedFormTimesOutAndStops)
{
  PipePair p;
  char got[4];
  LNamedPipeRef reader = p.b;
  Worker timed([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 4, 400); });
  uint32_t start = GetTickCount();
  timed.StartNormal();
  EXPECT_EQ(timed.WaitResult(3000), kProcessFailed);
  EXPECT_GE(timed.EndedAt() - start, 350u);

  Worker stopped([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 4, 60000); });
  stopped.StartNormal();
  ::Sleep(300);
  uint32_t stoppedAt = GetTickCount();
  stopped.StopThreadNow();
  EXPECT_EQ(stopped.WaitResult(0), kProcessStopped);
  EXPECT_LT(stopped.EndedAt() - stoppedAt, kAnswerMs);
}

TEST(ThreadWaits, SignalAndCommandThroughTheThread)
{
  LSignalObject signal;
  Worker waiter([&](LThread& t) { return ProcessWaitSignal(t, signal.GetRef(), 60000); });
  waiter.StartNormal();
  ::Sleep(100);
  signal.Signal();
  EXPECT_EQ(waiter.WaitResult(2000), kProcessDone);

  signal.Reset();
  Worker timed([&](LThread& t) { return ProcessWaitSignal(t, signal.GetRef(), 300); });
  timed.StartNormal();
  EXPECT_EQ(timed.WaitResult(2000), kProcessFailed);

  Worker command([&](LThread& t) { return ProcessRunCommandLineProcessWithProgress(t, "sleep 2", 60000); });
  command.StartNormal();
  ::Sleep(300);
  uint32_t stoppedAt = GetTickCount();
  command.StopThreadNow();
  EXPECT_EQ(command.WaitResult(0), kProcessStopped);
  EXPECT_LT(command.EndedAt() - stoppedAt, kAnswerMs);

  Worker quick([&](LThread& t) { return ProcessRunCommandLineProcessWithProgress(t, "true", 60000); });
  quick.StartNormal();
  EXPECT_EQ(quick.WaitResult(5000), kProcessDone);
}

TEST(ThreadSend, LiveStreamSendEndsWhenStopped)
{
  TcpPair p;
  MakeTcpPair(p);
  int small = 4096;
  setsockopt(p.a.GetSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::vector<char> slot(2048, 's');
  LIPSocketTCPRef socket = p.a;
  // A listener that stopped reading: the sender keeps going until stopped.
  Worker sender([&](LThread& t) {
    LProcessResult r = kProcessDone;
    while (r == kProcessDone)
      r = ProcessSend(t, socket, slot.data(), static_cast<unsigned int>(slot.size()), 10000);
    return static_cast<int>(r);
  });
  sender.StartNormal();
  ::Sleep(500);
  uint32_t stoppedAt = GetTickCount();
  sender.StopThreadNow();
  EXPECT_EQ(sender.WaitResult(0), kProcessStopped);
  EXPECT_LT(sender.EndedAt() - stoppedAt, kAnswerMs);
}

} // namespace
