// Cooperative operations answering their owner from another thread: stop
// requests within one slice, slow peers, and the thread forms of the pipe
// receives and waits.

#include "net/loopback.h"
#include "net/pipepair.h"
#include "net/processcommand.h"
#include "net/processconnect.h"
#include "net/processpipe.h"
#include "net/processsocket.h"
#include "net/worker.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using nettest::PipePair;
using nettest::Since;
using nettest::StopFlag;
using nettest::TcpPair;
using nettest::Worker;

// One 200 ms slice, with room for a loaded machine and sanitizers.
constexpr uint32_t kAnswerMs = 450;

// Runs op on another thread, asks it to stop after 300 ms; returns how long
// the answer took.
template <class Op>
uint32_t StopAfterStart(Op op, LProcessResult& result)
{
  StopFlag flag;
  std::thread t([&] { result = op(flag); });
  ::Sleep(300);
  uint32_t stoppedAt = GetTickCount();
  flag.stop = true;
  t.join();
  return Since(stoppedAt);
}

TEST(StopRequests, AnsweredWithinOneSlice)
{
  TcpPair p;
  p.Buffers(4096);
  char buffer[16];
  nettest::StringWriter line;
  std::vector<char> data(32u << 20, 'x');
  LProcessResult r;
  EXPECT_LT(StopAfterStart([&](StopFlag& f) { return ProcessRecvBytes(f, p.a, buffer, 16, 60000); }, r), kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);
  EXPECT_LT(StopAfterStart([&](StopFlag& f) { return ProcessRecvLineToWriter(f, p.a, line, 60000); }, r), kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);
  EXPECT_LT(StopAfterStart([&](StopFlag& f) { return ProcessSend(f, p.a, data.data(), unsigned(data.size()), 60000); }, r),
            kAnswerMs);
  EXPECT_EQ(r, kProcessStopped);

  nettest::Listener full("127.0.0.1", 0);
  LIPAddressWithPort address(LIPAddress("127.0.0.1"), full.Port());
  LIPSocketTCP fillers[3], s;
  LProcessInterfaceVoid never;
  for (auto& f : fillers)
    ProcessConnect(never, f, address, 300);
  uint32_t took = StopAfterStart([&](StopFlag& f) { return ProcessConnect(f, s, address, 60000); }, r);
  if (r != kProcessDone) {  // some systems complete connects to a full queue
    EXPECT_LT(took, kAnswerMs);
    EXPECT_EQ(r, kProcessStopped);
    EXPECT_EQ(s.GetSocket(), -1);
  }
}

TEST(IdleBudget, SlowButSteadyReaderIsNotATimeOut)
{
  TcpPair p;
  p.Buffers(64 * 1024);
  constexpr size_t kTotal = 2 * 1024 * 1024;
  std::string data(kTotal, 0), received;
  for (size_t i = 0; i < kTotal; ++i)
    data[i] = static_cast<char>(i * 7);
  // 8 KB every 5 ms: longer than the time-out in all, but the sender rarely
  // if ever waits a whole slice.
  std::atomic<bool> senderDone{false};
  std::thread reader([&] {
    char chunk[8192];
    for (uint32_t start = GetTickCount(); received.size() < kTotal && Since(start) < 20000; ::Sleep(5)) {
      ssize_t n = recv(p.b.GetSocket(), chunk, sizeof chunk, 0);
      if (n > 0)
        received.append(chunk, n);
      else if (n == 0 || errno != EAGAIN || senderDone)
        break;
    }
  });
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  EXPECT_EQ(ProcessSend(never, p.a, data.data(), kTotal, 1000), kProcessDone);
  EXPECT_GT(Since(start), 1000u) << "the reader was not slow enough to test the budget";
  senderDone = true;
  reader.join();
  EXPECT_EQ(received, data);
}

TEST(ThreadForms, PipeReceiveWithoutTimeOutEndsOnDataStopOrEnd)
{
  PipePair p;
  LNamedPipeRef reader = p.b;
  LProcessInterfaceVoid never;
  char got[16] = {};
  Worker w([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 16); });
  w.StartNormal();
  ASSERT_EQ(ProcessSend(never, p.a, "0123456789", 10, 1000), kProcessDone);
  ::Sleep(100);
  EXPECT_EQ(w.WaitResult(0), -1) << "returned before the whole message";
  ASSERT_EQ(ProcessSend(never, p.a, "abcdef", 6, 1000), kProcessDone);
  EXPECT_EQ(w.WaitResult(2000), kProcessDone);
  EXPECT_EQ(std::string(got, 16), "0123456789abcdef");

  Worker waiting([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 16); });
  waiting.StartNormal();
  EXPECT_EQ(waiting.WaitResult(300), -1);
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

TEST(ThreadForms, TimedPipeReceiveSignalWaitCommandAndSend)
{
  PipePair p;
  LNamedPipeRef reader = p.b;
  char got[4];
  uint32_t start = GetTickCount();
  Worker timed([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 4, 400); });
  timed.StartNormal();
  EXPECT_EQ(timed.WaitResult(3000), kProcessFailed);
  EXPECT_GE(timed.EndedAt() - start, 350u);

  LSignalObject signal;
  Worker waiter([&](LThread& t) { return ProcessWaitSignal(t, signal.GetRef(), 60000); });
  waiter.StartNormal();
  ::Sleep(100);
  signal.Signal();
  EXPECT_EQ(waiter.WaitResult(2000), kProcessDone);

  // The live stream's sender to a listener that stopped reading.
  TcpPair tcp;
  tcp.Buffers(4096);
  LIPSocketTCPRef socket = tcp.a;
  std::vector<char> slot(2048, 's');
  Worker sender([&](LThread& t) {
    LProcessResult r = kProcessDone;
    while (r == kProcessDone)
      r = ProcessSend(t, socket, slot.data(), unsigned(slot.size()), 10000);
    return int(r);
  });
  Worker pipe([&](LThread& t) { return ProcessRecvBytes(t, reader, got, 4, 60000); });
  Worker command([&](LThread& t) { return ProcessRunCommandLineProcessWithProgress(t, "sleep 2", 60000); });
  for (Worker* w : {&sender, &pipe, &command}) {
    w->StartNormal();
    EXPECT_EQ(w->WaitResult(400), -1);
    uint32_t stoppedAt = GetTickCount();
    w->StopThreadNow();
    EXPECT_EQ(w->WaitResult(0), kProcessStopped);
    EXPECT_LT(w->EndedAt() - stoppedAt, kAnswerMs);
  }
}

} // namespace
