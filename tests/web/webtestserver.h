#pragma once
// A weblet server on a free loopback port, and a raw client for exact bytes and malformed input.
#include "common/files.h"
#include "common/loopback.h"
#include "common/proccount.h"
#include "web/weblet.h"
#include "web/websession.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>

namespace webtest {

using nettest::FreePort;

class Client {
public:
  explicit Client(unsigned short port)
  {
    sockaddr_in sa{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    connected_ = connect(fd_.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  bool Connected() const { return connected_; }
  int Fd() const { return fd_.Get(); }
  bool Send(const std::string& data)
  {
    return send(Fd(), data.data(), data.size(), MSG_NOSIGNAL) == ssize_t(data.size());
  }
  // Reads up to bytes bytes, until the server closes (closed() tells) or nothing arrives for idleMs.
  std::string ReadBytes(size_t bytes, int idleMs = 3000)
  {
    std::string text;
    char buffer[65536];
    closed_ = false;
    for (pollfd p{Fd(), POLLIN, 0}; !closed_ && text.size() < bytes && poll(&p, 1, idleMs) > 0;) {
      ssize_t n = recv(Fd(), buffer, std::min(sizeof buffer, bytes - text.size()), 0);
      closed_ = n <= 0;
      text.append(buffer, n > 0 ? size_t(n) : 0);
    }
    return text;
  }
  std::string ReadAll(int idleMs = 3000) { return ReadBytes(std::string::npos, idleMs); }
  bool closed() const { return closed_; }

private:
  LUniqueFD fd_{socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  bool connected_ = false;
  bool closed_ = false;
};

inline std::string Exchange(unsigned short port, const std::string& request, bool* closed = nullptr)
{
  Client client(port);
  EXPECT_TRUE(client.Connected() && client.Send(request));
  std::string reply = client.ReadAll();
  if (closed != nullptr)
    *closed = client.closed();
  return reply;
}

inline std::string Body(const std::string& response)
{
  size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

// A header's value in a response, or "<none>".
inline std::string Header(const std::string& response, const std::string& name)
{
  const std::string head = response.substr(0, response.find("\r\n\r\n")) + "\r\n";
  const size_t at = head.find("\r\n" + name + ": ");
  return at == std::string::npos ? "<none>"
                                 : head.substr(at + name.size() + 4, head.find("\r\n", at + 2) - at - name.size() - 4);
}

inline std::string SessionFolder()
{
  return LWebletGetSessionFolder(std::string(260, 0).data());
}

// Waits (generously) until a connection to port is accepted.
inline bool WaitForPort(unsigned short port)
{
  for (uint32_t start = GetTickCount(); nettest::Since(start) < 10000; usleep(10000))
    if (Client(port).Connected())
      return true;
  ADD_FAILURE() << "server did not start on port " << port;
  return false;
}

// StartServer with the session folder as its root, as the site runs it.
class TestServer {
public:
  TestServer(const LWebletScriptItem* table, unsigned int count) : port_(FreePort())
  {
    LWebletServer::SetWebletServerPort(port_);
    server_.StartServer(table, count, SessionFolder().c_str());
    WaitForPort(port_);
  }
  ~TestServer() { server_.StopServer(); }
  unsigned short Port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
  unsigned short port_;
  LWebletServer server_;
};

}  // namespace webtest
