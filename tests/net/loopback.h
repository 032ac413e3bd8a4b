#pragma once
// Real loopback sockets and small process interfaces for the network tests.

#include "net/netbase.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace nettest {

// A process interface whose stop request another thread may set.
struct StopFlag {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(std::memory_order_relaxed); }
};

// Answers false for the first n questions and true from then on, so a test
// can stop an operation at a known point without a second thread.
struct StopAfter {
  explicit StopAfter(int n) : left(n) {}
  int left;
  int asked = 0;
  bool IsToStop()
  {
    ++asked;
    return left-- <= 0;
  }
};

// A character writer that keeps everything.
struct StringWriter {
  std::string text;
  void AddChar(char c) { text.push_back(c); }
  unsigned int GetLength() const { return static_cast<unsigned int>(text.size()); }
};

// A listening socket on 127.0.0.1 (or the given address) at a free port.
class Listener {
public:
  explicit Listener(const char* address = "127.0.0.1", int backlog = 16)
  {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = inet_addr(address);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd_, backlog) != 0) {
      ADD_FAILURE() << "cannot listen on " << address << ": " << strerror(errno);
      return;
    }
    socklen_t len = sizeof sa;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
  }
  ~Listener()
  {
    if (fd_ >= 0)
      close(fd_);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  unsigned short Port() const { return port_; }
  int Fd() const { return fd_; }
  // Blocking accept; the result is an owned, non-blocking socket.
  int Accept() const { return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }

private:
  int fd_ = -1;
  unsigned short port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (bound once, then freed).
inline unsigned short FreePort()
{
  Listener l;
  return l.Port();
}

// Two connected TCP sockets over loopback: a (client) and b (server side).
struct TcpPair {
  LIPSocketTCP a;
  LIPSocketTCP b;
};

inline void MakeTcpPair(TcpPair& pair)
{
  Listener l;
  int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(l.Port());
  ASSERT_EQ(connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << strerror(errno);
  int s = l.Accept();
  ASSERT_GE(s, 0);
  LIPSocketTCP client(c);
  LIPSocketTCP server(s);
  pair.a.Assign(client);
  pair.b.Assign(server);
}

// Writes all bytes on a (non-blocking) descriptor, waiting as needed.
inline void WriteAll(int fd, const std::string& data)
{
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n < 0 && errno != EAGAIN)
      FAIL() << strerror(errno);
    else
      usleep(1000);
  }
}

// The tests run under tests/isolate, in a private mount namespace, so they
// may put their own /etc/hosts and host name in place.  Outside it they
// must not, and skip instead.
inline bool Isolated()
{
  const char* v = getenv("VELORIN_ISOLATED");
  return v != nullptr && strcmp(v, "1") == 0;
}

// Replaces /etc/hosts for this process (a fresh mount namespace of its own
// on top of the isolation) with the given lines.
inline bool UseHostsFile(const std::string& lines)
{
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return false;
  char path[] = "/tmp/hostsXXXXXX";
  int fd = mkstemp(path);
  if (fd < 0)
    return false;
  bool ok = write(fd, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
  close(fd);
  return ok && mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
}

// Gives this process its own host name (a UTS namespace of its own).
inline bool UseHostName(const char* name)
{
  return unshare(CLONE_NEWUTS) == 0 && sethostname(name, strlen(name)) == 0;
}

} // namespace nettest
