#pragma once
// A one-connection HTTP server for the client tests: records the request and answers with canned bytes.
#include "common/loopback.h"

#include <poll.h>
#include <string>
#include <thread>

namespace httptest {

struct Script {
  std::string reply = {};
};

class Server {
public:
  explicit Server(Script script) : script_(std::move(script)), thread_([this] { Serve(); }) {}
  ~Server() { Join(); }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(listener_.Port()); }
  std::string Url(const std::string& path) const { return "http://" + HostPort() + path; }
  // Waits for the connection to end; the recorded request is complete then.
  void Join()
  {
    if (thread_.joinable())
      thread_.join();
  }
  const std::string& Received() const { return received_; }

private:
  void Serve()
  {
    pollfd p{listener_.Fd(), POLLIN, 0};
    LUniqueFD fd(poll(&p, 1, 20000) == 1 ? listener_.Accept() : -1);
    timeval limit{20, 0};
    if (!fd.IsValid() || setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
      return;
    // The head, and the body its Content-Length announces.
    char buffer[4096];
    for (size_t head = std::string::npos, want = SIZE_MAX; received_.size() < want;) {
      ssize_t n = recv(fd.Get(), buffer, sizeof buffer, 0);
      if (n <= 0)
        break;
      received_.append(buffer, size_t(n));
      if (head == std::string::npos && (head = received_.find("\r\n\r\n")) != std::string::npos) {
        size_t at = received_.find("Content-Length: ");
        want = at < head ? head + 4 + std::stoul(received_.substr(at + 16)) : head + 4;
      }
    }
    for (size_t done = 0, n = 1; done < script_.reply.size() && n > 0; done += n)
      n = std::max<ssize_t>(0, send(fd.Get(), script_.reply.data() + done, script_.reply.size() - done, MSG_NOSIGNAL));
  }

  Script script_;
  nettest::Listener listener_;
  std::string received_;
  std::thread thread_;
};

}  // namespace httptest
