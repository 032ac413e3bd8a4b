#pragma once
// A control pipe client for tests with its own encoding of the 16-byte
// header, so that it checks the wire format rather than reusing the program's.

#include "base/uniquefd.h"

#include "common/waitfor.h"
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <vector>

inline std::string ServicePipePath()
{
  return "/opt/ostrel/velorin/etc/.spipe.velorind";
}

struct TestMessage {
  uint16_t magic = 0, type = 0;
  uint32_t code = 0, size = 0, tag = 0;
  std::vector<unsigned char> payload;
  // Log lines: "time\0text\0", the text at offset tag.
  std::string Time() const { return payload.empty() ? "" : reinterpret_cast<const char*>(payload.data()); }
  std::string Text() const { return tag >= payload.size() ? "" : reinterpret_cast<const char*>(payload.data() + tag); }
};

inline std::vector<unsigned char> EncodeTestHeader(uint16_t type, uint32_t code, uint32_t size, uint32_t tag,
                                                   uint16_t magic = 0x1234)
{
  std::vector<unsigned char> b;
  for (auto [v, n] : {std::pair<uint32_t, int>{magic, 2}, {type, 2}, {code, 4}, {size, 4}, {tag, 4}})
    for (int i = 0; i < n; ++i)
      b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  return b;
}

class TestControlClient {
public:
  bool Connect()
  {
    fd_.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, ServicePipePath().c_str(), sizeof address.sun_path - 1);
    return connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  bool SendRaw(const std::vector<unsigned char>& bytes)
  {
    return send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  bool SendRequest(uint16_t type, uint32_t code, uint32_t tag, const std::vector<unsigned char>& data = {})
  {
    auto bytes = EncodeTestHeader(type, code, static_cast<uint32_t>(data.size()), tag);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return SendRaw(bytes);
  }
  // Reads one whole message within ms; false on time-out or end of stream.
  bool Read(TestMessage& m, int ms)
  {
    const auto deadline = Deadline(ms);
    unsigned char h[16];
    if (!ReadExactly(h, sizeof h, deadline))
      return false;
    auto get = [&](size_t at) {
      return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | static_cast<uint32_t>(h[at + 3]) << 24;
    };
    m = {static_cast<uint16_t>(h[0] | h[1] << 8), static_cast<uint16_t>(h[2] | h[3] << 8), get(4), get(8), get(12), {}};
    m.payload.assign(m.size, 0);
    return ReadExactly(m.payload.data(), m.size, deadline);
  }
  bool WaitForLogLine(const std::string& text, int ms, TestMessage* found = nullptr)
  {
    const auto deadline = Deadline(ms);
    for (TestMessage m; Read(m, Left(deadline));)
      if (m.type == 19 && m.Text() == text)
        return !found || (*found = m, true);
    return false;
  }
  // True when the peer closes the connection within ms; what it sends first is skipped.
  bool ClosedWithin(int ms)
  {
    const auto deadline = Deadline(ms);
    char buffer[4096];
    ssize_t n = 1;
    while (n > 0)
      n = Recv(buffer, sizeof buffer, deadline);
    return n == 0;
  }

private:
  static Clock::time_point Deadline(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
  static int Left(Clock::time_point deadline)
  {
    return std::max(
        0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
  }
  // Bytes received by the deadline: 0 at the end of the stream or on an error, -1 on time-out.
  ssize_t Recv(void* out, size_t size, Clock::time_point deadline)
  {
    for (pollfd p{fd_.Get(), POLLIN, 0};;) {
      const int rc = poll(&p, 1, Left(deadline));
      if (rc == 0)
        return -1;
      const ssize_t n = rc > 0 ? recv(fd_.Get(), out, size, 0) : -1;
      if (n >= 0 || errno != EINTR)
        return std::max<ssize_t>(n, 0);
    }
  }
  bool ReadExactly(unsigned char* out, size_t size, Clock::time_point deadline)
  {
    for (ssize_t n = 0; size > 0; out += n, size -= static_cast<size_t>(n))
      if ((n = Recv(out, size, deadline)) <= 0)
        return false;
    return true;
  }

  LUniqueFD fd_;
};
