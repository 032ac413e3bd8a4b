#include "net/tcp.h"

#include "base/ticks.h"
#include "net/loopback.h"
#include "net/processconnect.h"
#include "net/processsocket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <list>
#include <mutex>
#include <string>

namespace {

using nettest::Listener;

class TestListener : public LTCPListener {
public:
  ~TestListener() { Stop(); }

  std::atomic<int> conflicts{0};
  std::atomic<int> accepted{0};
  std::atomic<bool> keep{false};
  std::atomic<bool> allNonBlocking{true};
  std::atomic<bool> allCloseOnExec{true};

  size_t KeptCount()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return kept_.size();
  }
  void DropKept()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    kept_.clear();
  }

protected:
  // Listener thread.
  void NewConnection(LIPSocketTCP& socket) override
  {
    ++accepted;
    if ((fcntl(socket.GetSocket(), F_GETFL) & O_NONBLOCK) == 0)
      allNonBlocking = false;
    if ((fcntl(socket.GetSocket(), F_GETFD) & FD_CLOEXEC) == 0)
      allCloseOnExec = false;
    ProcessSendString(*this, socket, "hello\n", 1000);
    if (keep) {
      std::lock_guard<std::mutex> lock(mutex_);
      kept_.emplace_back().Assign(socket);
    }
  }
  void BindConflict() override { ++conflicts; }

private:
  std::mutex mutex_;  // guards kept_ (listener thread adds, test thread reads)
  std::list<LIPSocketTCP> kept_;
};

// A port on all addresses that nothing uses right now.
unsigned short FreeAnyPort()
{
  Listener l("0.0.0.0");
  return l.Port();
}

// Connects to 127.0.0.1:port, retrying refusals until ms have passed, and
// reads the listener's greeting.  True when greeted.
bool Greeted(unsigned short port, unsigned int ms, LIPSocketTCP& s)
{
  LProcessInterfaceVoid never;
  uint32_t start = GetTickCount();
  do {
    if (ProcessConnect(never, s, LIPAddressWithPort(LIPAddress("127.0.0.1"), port), 1000) == kProcessDone) {
      char line[260];
      return ProcessRecvLine(never, s, line, 2000) == kProcessDone && std::string(line) == "hello";
    }
    ::Sleep(100);
  } while (GetTickCount() - start < ms);
  return false;
}

bool Greeted(unsigned short port, unsigned int ms)
{
  LIPSocketTCP s;
  return Greeted(port, ms, s);
}

TEST(TCPListener, HandsOverNonBlockingCloseOnExecSockets)
{
  TestListener l;
  unsigned short port = FreeAnyPort();
  l.Start(port);
  LIPSocketTCP s;
  ASSERT_TRUE(Greeted(port, 3000, s));
  // Not taken over: closed when NewConnection returned.
  char c;
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessRecvBytes(never, s, &c, 1, 2000), kProcessFailed);
  ASSERT_TRUE(Greeted(port, 3000));
  EXPECT_EQ(l.accepted, 2);
  EXPECT_TRUE(l.allNonBlocking);
  EXPECT_TRUE(l.allCloseOnExec);
  EXPECT_EQ(l.conflicts, 0);
}

TEST(TCPListener, TakenOverSocketsOutliveTheListener)
{
  TestListener l;
  l.keep = true;
  unsigned short port = FreeAnyPort();
  l.Start(port);
  LIPSocketTCP s;
  ASSERT_TRUE(Greeted(port, 3000, s));
  l.Stop();
  EXPECT_EQ(l.KeptCount(), 1u);
  // Still open: nothing to read and no end.
  LProcessInterfaceVoid never;
  EXPECT_EQ(ProcessWaitForDataOrClose(never, s, 400), kProcessFailed);
  l.DropKept();
  EXPECT_EQ(ProcessWaitForDataOrClose(never, s, 2000), kProcessDone);
  char c;
  EXPECT_EQ(ProcessRecvBytes(never, s, &c, 1, 2000), kProcessFailed);
}

TEST(TCPListener, RestartMovesPortAndStopIsQuick)
{
  TestListener l;
  unsigned short first = FreeAnyPort();
  unsigned short second = FreeAnyPort();
  l.Start(first);
  ASSERT_TRUE(Greeted(first, 3000));
  l.Start(second);
  ASSERT_TRUE(Greeted(second, 3000));
  EXPECT_FALSE(Greeted(first, 0));
  uint32_t start = GetTickCount();
  l.Stop();
  EXPECT_LT(GetTickCount() - start, 300u);
  EXPECT_FALSE(Greeted(second, 0));
}

TEST(TCPListener, RestartAfterServingTakesThePortBackAtOnce)
{
  TestListener l;
  unsigned short port = FreeAnyPort();
  l.Start(port);
  // The listener closes these first (the client waits for the end before
  // closing), so they linger in TIME_WAIT on its port.
  for (int i = 0; i < 3; ++i) {
    LIPSocketTCP s;
    ASSERT_TRUE(Greeted(port, 3000, s));
    LProcessInterfaceVoid never;
    char c;
    ASSERT_EQ(ProcessRecvBytes(never, s, &c, 1, 2000), kProcessFailed);
  }
  ::Sleep(100);
  l.Stop();
  l.Start(port);
  EXPECT_TRUE(Greeted(port, 1000));
  EXPECT_EQ(l.conflicts, 0);
}

TEST(TCPListener, StopDuringRetryWaitIsQuick)
{
  Listener occupier("0.0.0.0");
  TestListener l;
  l.Start(occupier.Port());
  uint32_t start = GetTickCount();
  while (l.conflicts == 0 && GetTickCount() - start < 3000)
    ::Sleep(10);
  ASSERT_EQ(l.conflicts, 1);
  ::Sleep(200);
  start = GetTickCount();
  l.Stop();
  EXPECT_LT(GetTickCount() - start, 300u);
}

TEST(TCPListener, BusyPortIsRetriedEvery30SecondsUntilItFrees)
{
  auto occupier = std::make_unique<Listener>("0.0.0.0");
  unsigned short port = occupier->Port();
  TestListener l;
  l.Start(port);
  uint32_t start = GetTickCount();
  while (l.conflicts == 0 && GetTickCount() - start < 3000)
    ::Sleep(10);
  ASSERT_EQ(l.conflicts, 1);
  uint32_t conflictAt = GetTickCount();
  ::Sleep(2000);
  EXPECT_EQ(l.conflicts, 1) << "retried before the interval";

  occupier.reset();
  ASSERT_TRUE(Greeted(port, LTCPListener::kRetryMs + 5000));
  uint32_t servedAfter = GetTickCount() - conflictAt;
  EXPECT_GE(servedAfter, LTCPListener::kRetryMs - 1000);
  EXPECT_LT(servedAfter, LTCPListener::kRetryMs + 3000);
  EXPECT_EQ(l.conflicts, 1);
  EXPECT_EQ(l.accepted, 1);
}

} // namespace
