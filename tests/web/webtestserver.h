#pragma once
// A weblet server on a free loopback port with a caller's handler table,
// and the clients the tests drive it with: a raw socket for exact bytes and
// malformed input, curl for a real HTTP client.
#include "proccount.h"
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "web/weblet.h"
#include "web/websession.h"

namespace webtest {

inline unsigned short FreePort()
{
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  close(fd);
  return ntohs(sa.sin_port);
}

inline long Milliseconds(std::chrono::steady_clock::time_point since)
{
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}


// A line of /proc/self/status in kB ("VmRSS", "VmSize").
inline long StatusKB(const char* key)
{
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0 && line[std::strlen(key)] == ':') {
      return std::stol(line.substr(std::strlen(key) + 1));
    }
  }
  return -1;
}

// A blocking client socket connected to the server.
class Client {
public:
  explicit Client(unsigned short port)
  {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return connected_; }
  int Fd() const { return fd_; }
  void Close()
  {
    if (fd_ >= 0) {
      close(fd_);
      fd_ = -1;
    }
  }

  bool Send(const std::string& data)
  {
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n <= 0) {
        return false;
      }
      done += static_cast<size_t>(n);
    }
    return true;
  }

  // Reads until the server closes or nothing arrives for idleMs; closed()
  // tells which.
  std::string ReadAll(int idleMs = 3000)
  {
    std::string text;
    closed_ = false;
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, idleMs) <= 0) {
        return text;
      }
      char buffer[65536];
      ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closed_ = true;
        return text;
      }
      text.append(buffer, static_cast<size_t>(n));
    }
  }

  // Reads exactly bytes bytes (or less when the server closes first).
  std::string ReadBytes(size_t bytes, int idleMs = 3000)
  {
    std::string text;
    while (text.size() < bytes) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, idleMs) <= 0) {
        break;
      }
      char buffer[65536];
      size_t want = bytes - text.size() < sizeof buffer ? bytes - text.size() : sizeof buffer;
      ssize_t n = recv(fd_, buffer, want, 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }

  // Whether the server has closed its end within ms.
  bool SeesClose(int ms)
  {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) {
      return false;
    }
    char c;
    return recv(fd_, &c, 1, MSG_PEEK) == 0;
  }

  bool closed() const { return closed_; }

private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
};

// One request over a fresh connection; everything the server sent.
inline std::string Exchange(unsigned short port, const std::string& request, bool* closed = nullptr)
{
  Client client(port);
  EXPECT_TRUE(client.Connected());
  client.Send(request);
  std::string reply = client.ReadAll();
  if (closed != nullptr) {
    *closed = client.closed();
  }
  return reply;
}

// The body after the blank line of a response.
inline std::string Body(const std::string& response)
{
  size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

// A header's value in a response, or "<none>".
inline std::string Header(const std::string& response, const std::string& name)
{
  std::string head = response.substr(0, response.find("\r\n\r\n"));
  size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) {
    return "<none>";
  }
  at += name.size() + 4;
  return head.substr(at, head.find("\r\n", at) - at);
}

// Runs a shell command; its standard output (and the exit status).
inline std::string Shell(const std::string& command, int* status = nullptr)
{
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, n);
  }
  int rc = pclose(pipe);
  if (status != nullptr) {
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  return out;
}

inline std::string SessionFolder()
{
  char folder[260];
  return LWebletGetSessionFolder(folder);
}

inline void WriteFile(const std::string& path, const std::string& data)
{
  std::ofstream(path, std::ios::binary) << data;
}

// The server under test: StartServer on a free port with the session folder
// as its root, as the site runs it.
class TestServer {
public:
  TestServer(const LWebletScriptItem* table, unsigned int count) : port_(FreePort())
  {
    LWebletServer::SetWebletServerPort(port_);
    server_.StartServer(table, count, SessionFolder().c_str());
    // The listener binds on its own thread; wait until it accepts.
    for (int i = 0; i < 200; ++i) {
      Client probe(port_);
      if (probe.Connected()) {
        return;
      }
      usleep(10000);
    }
    ADD_FAILURE() << "server did not start on port " << port_;
  }
  ~TestServer() { server_.StopServer(); }

  unsigned short Port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  LWebletServer& Server() { return server_; }

private:
  unsigned short port_;
  LWebletServer server_;
};

} // namespace webtest
