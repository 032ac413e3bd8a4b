#include "net/tcp.h"

#include "net/loopback.h"
#include "net/processconnect.h"
#include "net/processsocket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace {

using nettest::Listener;
using nettest::Since;

LProcessInterfaceVoid never;

class TestListener : public LTCPListener {
public:
  ~TestListener() { Stop(); }

  std::atomic<int> conflicts{0};
  std::atomic<int> accepted{0};
  std::atomic<bool> keep{false};
  std::atomic<bool> flagsRight{true};
  std::mutex mutex;               // guards kept: the listener adds, the test drops
  std::list<LIPSocketTCP> kept;

protected:
  void NewConnection(LIPSocketTCP& socket) override
  {
    ++accepted;
    if ((fcntl(socket.GetSocket(), F_GETFL) & O_NONBLOCK) == 0 || (fcntl(socket.GetSocket(), F_GETFD) & FD_CLOEXEC) == 0)
      flagsRight = false;
    ProcessSendString(*this, socket, "hello\n", 1000);
    if (keep) {
      std::lock_guard<std::mutex> lock(mutex);
      kept.emplace_back().Assign(socket);
    }
  }
  void BindConflict() override { ++conflicts; }
};

unsigned short FreeAnyPort() { return Listener("0.0.0.0").Port(); }

// Connects to the port, retrying refusals for up to ms, and reads the
// listener's greeting.
bool Greeted(unsigned short port, unsigned int ms, LIPSocketTCP& s)
{
  LIPAddressWithPort address(LIPAddress("127.0.0.1"), port);
  for (uint32_t start = GetTickCount();; ::Sleep(100)) {
    if (ProcessConnect(never, s, address, 1000) == kProcessDone) {
      char line[260];
      return ProcessRecvLine(never, s, line, 2000) == kProcessDone && std::string(line) == "hello";
    }
    if (Since(start) >= ms)
      return false;
  }
}

bool Greeted(unsigned short port, unsigned int ms = 3000)
{
  LIPSocketTCP s;
  return Greeted(port, ms, s);
}

// True when the peer of s has closed, as opposed to staying silent.
bool PeerClosed(LIPSocketTCP& s, int ms)
{
  char c;
  return ProcessWaitForDataOrClose(never, s, ms) == kProcessDone && recv(s.GetSocket(), &c, 1, 0) == 0;
}

TEST(TCPListener, HandsOverSocketsAndClosesWhatIsLeft)
{
  TestListener l;
  unsigned short port = FreeAnyPort();
  l.Start(port);
  LIPSocketTCP first, second;
  ASSERT_TRUE(Greeted(port, 3000, first));
  EXPECT_TRUE(PeerClosed(first, 2000));
  l.keep = true;
  ASSERT_TRUE(Greeted(port, 3000, second));
  l.Stop();
  EXPECT_FALSE(PeerClosed(second, 400)) << "a taken-over socket must outlive the listener";
  l.kept.clear();
  EXPECT_TRUE(PeerClosed(second, 2000));
  EXPECT_EQ(l.accepted, 2);
  EXPECT_TRUE(l.flagsRight) << "accepted sockets must be non-blocking and close-on-exec";
  EXPECT_EQ(l.conflicts, 0);
}

TEST(TCPListener, RestartMovesPortAndStopIsQuick)
{
  TestListener l;
  unsigned short first = FreeAnyPort(), second = FreeAnyPort();
  l.Start(first);
  ASSERT_TRUE(Greeted(first));
  l.Start(second);
  ASSERT_TRUE(Greeted(second));
  EXPECT_FALSE(Greeted(first, 0));
  uint32_t start = GetTickCount();
  l.Stop();
  EXPECT_LT(Since(start), 300u);
  EXPECT_FALSE(Greeted(second, 0));
}

TEST(TCPListener, RestartAfterServingTakesThePortBackAtOnce)
{
  TestListener l;
  unsigned short port = FreeAnyPort();
  l.Start(port);
  // The listener closes these first, so they linger in TIME_WAIT on its port.
  for (int i = 0; i < 3; ++i) {
    LIPSocketTCP s;
    ASSERT_TRUE(Greeted(port, 3000, s));
    ASSERT_TRUE(PeerClosed(s, 2000));
  }
  l.Stop();
  l.Start(port);
  EXPECT_TRUE(Greeted(port, 1000));
  EXPECT_EQ(l.conflicts, 0);
}

TEST(TCPListener, BusyPortIsRetriedEvery30SecondsUntilItFrees)
{
  auto occupier = std::make_unique<Listener>("0.0.0.0");
  unsigned short port = occupier->Port();
  TestListener l;
  l.Start(port);
  for (uint32_t start = GetTickCount(); l.conflicts == 0 && Since(start) < 3000;)
    ::Sleep(10);
  ASSERT_EQ(l.conflicts, 1);
  uint32_t conflictAt = GetTickCount();
  ::Sleep(2000);
  EXPECT_EQ(l.conflicts, 1) << "retried before the interval";

  // A stop during the retry wait is answered at once.
  TestListener other;
  other.Start(port);
  for (uint32_t start = GetTickCount(); other.conflicts == 0 && Since(start) < 3000;)
    ::Sleep(10);
  uint32_t stopAt = GetTickCount();
  other.Stop();
  EXPECT_LT(Since(stopAt), 300u);

  occupier.reset();
  ASSERT_TRUE(Greeted(port, LTCPListener::kRetryMs + 5000));
  EXPECT_GE(Since(conflictAt), LTCPListener::kRetryMs - 1000);
  EXPECT_LT(Since(conflictAt), LTCPListener::kRetryMs + 3000);
  EXPECT_EQ(l.conflicts, 1);
  EXPECT_EQ(l.accepted, 1);
}

} // namespace
