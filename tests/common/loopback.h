#pragma once
// Loopback sockets, pipes and small process interfaces for the tests of the network code and its users.

#include "base/pipenamed.h"
#include "base/ticks.h"
#include "base/uniquefd.h"
#include "net/netbase.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

inline uint32_t Since(uint32_t start)
{
  return GetTickCount() - start;
}

// Answers false n times, then true.
// A stop request set from another thread.
struct StopFlag {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(std::memory_order_relaxed); }
};

struct StopAfter {
  explicit StopAfter(int n) : left(n) {}
  int left;
  bool IsToStop() { return left-- <= 0; }
};

struct StringWriter {
  std::string text;
  void AddChar(char c) { text.push_back(c); }
};

class Listener {
public:
  explicit Listener(const char* address = "127.0.0.1", int backlog = 16)
  {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = inet_addr(address);
    socklen_t len = sizeof sa;
    int fd = fd_.Get();
    EXPECT_TRUE(bind(fd, reinterpret_cast<sockaddr*>(&sa), len) == 0 && listen(fd, backlog) == 0 &&
                getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0);
    port_ = ntohs(sa.sin_port);
  }
  unsigned short Port() const { return port_; }
  int Accept() const { return accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC); }
  int Fd() const { return fd_.Get(); }

private:
  LUniqueFD fd_{socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  unsigned short port_ = 0;
};

// A port that nothing listens on (closed again at once).
inline unsigned short FreePort()
{
  return Listener().Port();
}

// Two connected, non-blocking stream sockets: a control pipe's ends, or a connection's.
template <class End>
struct SocketPair {
  SocketPair()
  {
    int fds[2] = {-1, -1};
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    End x(fds[0]), y(fds[1]);
    a.Assign(x);
    b.Assign(y);
  }
  void Write(const std::string& data)
  {
    ASSERT_EQ(send(b.GetSocket(), data.data(), data.size(), 0), ssize_t(data.size()));
  }
  End a;
  End b;
};
using PipePair = SocketPair<LNamedPipe>;
using TcpPair = SocketPair<LIPSocketTCP>;

// Under tests/isolate only: a private /etc/hosts (in a mount namespace of its own) and host name.
inline bool UseHostsFile(const std::string& lines)
{
  const char* isolated = getenv("VELORIN_ISOLATED");
  if (isolated == nullptr || strcmp(isolated, "1") != 0)
    return false;
  char path[] = "/tmp/hostsXXXXXX";
  int fd = mkstemp(path);
  bool ok = fd >= 0 && write(fd, lines.data(), lines.size()) == ssize_t(lines.size());
  close(fd);
  return ok && unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
}

inline bool UseHostName(const char* name)
{
  return unshare(CLONE_NEWUTS) == 0 && sethostname(name, strlen(name)) == 0;
}

}  // namespace nettest
