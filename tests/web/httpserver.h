#pragma once
// A one-connection HTTP server for the client tests: it listens on a real
// loopback socket, records the bytes of the request it receives and answers
// with canned bytes, with the timing the test asks for.

#include "net/loopback.h"

#include <chrono>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace httptest {

struct Script {
  std::string reply = {};
  // False: the request is never read, so the client's sends back up.
  bool readRequest = true;
  // Answer as soon as the request head is in, then read the body slowly:
  // the client then holds unread answer bytes while its body is still
  // being sent.
  bool replyBeforeBody = false;
  int sleepAfterReplyMs = 0;
  // False: after the reply, wait (up to 20 s) until the client closes.
  bool closeAfterReply = true;
  // SO_RCVBUF of the accepted connection, 0 for the system's default.
  int receiveBuffer = 0;
};

class Server {
public:
  explicit Server(Script script) : script_(std::move(script))
  {
    if (script_.receiveBuffer != 0)
      setsockopt(listener_.Fd(), SOL_SOCKET, SO_RCVBUF, &script_.receiveBuffer, sizeof script_.receiveBuffer);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Server() { Join(); }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  unsigned short Port() const { return listener_.Port(); }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }
  std::string Url(const std::string& path) const { return "http://" + HostPort() + path; }

  // Waits for the connection to end; the recorded request is complete then.
  void Join()
  {
    if (thread_.joinable())
      thread_.join();
  }
  // After Join: what the client sent, and whether it connected at all.
  const std::string& Received() const { return received_; }
  bool Connected() const { return connected_; }
  // True when a further connection is waiting to be accepted.
  bool AnotherConnectionPending() const
  {
    pollfd p{listener_.Fd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  }

private:
  void Serve()
  {
    pollfd p{listener_.Fd(), POLLIN, 0};
    if (poll(&p, 1, 20000) != 1)
      return;
    int fd = listener_.Accept();
    if (fd < 0)
      return;
    connected_ = true;
    timeval limit{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (script_.readRequest)
      ReadHead(fd);
    if (script_.replyBeforeBody) {
      Send(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ReadBody(fd);
    } else {
      if (script_.readRequest)
        ReadBody(fd);
      Send(fd);
    }
    if (script_.sleepAfterReplyMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(script_.sleepAfterReplyMs));
    if (!script_.closeAfterReply) {
      pollfd c{fd, POLLRDHUP, 0};
      poll(&c, 1, 20000);
    }
    close(fd);
  }

  bool ReadMore(int fd)
  {
    char buffer[4096];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0)
      return false;
    received_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  void ReadHead(int fd)
  {
    while (received_.find("\r\n\r\n") == std::string::npos)
      if (!ReadMore(fd))
        return;
  }

  // The body that the head's Content-Length announces.
  void ReadBody(int fd)
  {
    size_t headEnd = received_.find("\r\n\r\n");
    size_t at = received_.find("Content-Length: ");
    if (headEnd == std::string::npos || at == std::string::npos || at > headEnd)
      return;
    size_t want = headEnd + 4 + std::stoul(received_.substr(at + 16));
    while (received_.size() < want)
      if (!ReadMore(fd))
        return;
  }

  void Send(int fd)
  {
    size_t done = 0;
    while (done < script_.reply.size()) {
      ssize_t n = send(fd, script_.reply.data() + done, script_.reply.size() - done, MSG_NOSIGNAL);
      if (n <= 0)
        return;
      done += static_cast<size_t>(n);
    }
  }

  Script script_;
  nettest::Listener listener_;
  std::thread thread_;
  std::string received_;
  bool connected_ = false;
};

// Body bytes that differ from piece to piece, so a lost or doubled piece
// shows in the file.
inline std::string Pattern(size_t size)
{
  std::string s(size, 0);
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>((i * 7 + i / 1028) & 0xff);
  return s;
}

inline std::string Answer(const std::string& statusLine, const std::string& headers, const std::string& body)
{
  return statusLine + "\r\n" + headers + "\r\n" + body;
}

} // namespace httptest
