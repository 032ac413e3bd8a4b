#pragma once
// Real loopback sockets and small process interfaces for the network tests.

#include "base/ticks.h"
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

inline uint32_t Since(uint32_t start) { return GetTickCount() - start; }

// A stop request another thread may set.
struct StopFlag {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(std::memory_order_relaxed); }
};

// Answers false n times, then true: stops an operation at a known point.
struct StopAfter {
  explicit StopAfter(int n) : left(n) {}
  int left;
  bool IsToStop() { return left-- <= 0; }
};

struct StringWriter {
  std::string text;
  void AddChar(char c) { text.push_back(c); }
};

// A listening socket on address at a free port.
class Listener {
public:
  explicit Listener(const char* address = "127.0.0.1", int backlog = 16)
  {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = inet_addr(address);
    socklen_t len = sizeof sa;
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_TRUE(bind(fd_, reinterpret_cast<sockaddr*>(&sa), len) == 0 && listen(fd_, backlog) == 0 &&
                getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) == 0);
    port_ = ntohs(sa.sin_port);
  }
  ~Listener() { close(fd_); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  unsigned short Port() const { return port_; }
  int Accept() const { return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }

private:
  int fd_;
  unsigned short port_ = 0;
};

// Two connected loopback TCP sockets, both non-blocking: a and b.
struct TcpPair {
  TcpPair()
  {
    Listener l;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(l.Port());
    LIPSocketTCP c(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    connect(c.GetSocket(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    LIPSocketTCP s(l.Accept());
    EXPECT_TRUE(s.IsOpen());
    a.Assign(c);
    b.Assign(s);
  }
  // Shrinks the sender's and the receiver's buffers.
  void Buffers(int size)
  {
    setsockopt(a.GetSocket(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(b.GetSocket(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  void Write(const std::string& data) { ASSERT_EQ(send(b.GetSocket(), data.data(), data.size(), 0), ssize_t(data.size())); }
  LIPSocketTCP a;
  LIPSocketTCP b;
};

// Under tests/isolate the test may mount its own /etc/hosts (in a mount
// namespace of its own besides) and set its own host name; outside, never.
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

} // namespace nettest
