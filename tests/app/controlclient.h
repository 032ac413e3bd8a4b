#pragma once
// A control pipe client for tests, built on plain sockets with its own
// encoding of the 16-byte header, so that it checks the wire format rather
// than reusing the program's.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

inline std::string ServicePipePath() { return "/opt/ostrel/velorin/etc/.spipe.velorind"; }

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
  TestControlClient() = default;
  ~TestControlClient() { Close(); }
  TestControlClient(const TestControlClient&) = delete;
  TestControlClient& operator=(const TestControlClient&) = delete;

  bool Connect(const std::string& path = ServicePipePath()) {
    Close();
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || (Close(), false);
  }
  void Close() {
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
  }
  bool SendRaw(const void* data, size_t size) {
    return send(fd_, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
  }
  bool SendRaw(const std::vector<unsigned char>& bytes) { return SendRaw(bytes.data(), bytes.size()); }
  bool SendRequest(uint16_t type, uint32_t code, uint32_t tag, const std::vector<unsigned char>& data = {}) {
    auto bytes = EncodeTestHeader(type, code, static_cast<uint32_t>(data.size()), tag);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return SendRaw(bytes);
  }

  // Reads one whole message within ms; false on time-out or end of stream.
  bool Read(TestMessage& m, int ms) {
    const auto deadline = Deadline(ms);
    unsigned char h[16];
    if (!ReadExactly(h, sizeof h, deadline))
      return false;
    auto get = [&](size_t at) { return h[at] | h[at + 1] << 8 | h[at + 2] << 16 | static_cast<uint32_t>(h[at + 3]) << 24; };
    m = {static_cast<uint16_t>(h[0] | h[1] << 8), static_cast<uint16_t>(h[2] | h[3] << 8), get(4), get(8), get(12), {}};
    m.payload.assign(m.size, 0);
    return ReadExactly(m.payload.data(), m.size, deadline);
  }
  // Reads messages until a log line with this text arrives.
  bool WaitForLogLine(const std::string& text, int ms, TestMessage* found = nullptr) {
    const auto deadline = Deadline(ms);
    TestMessage m;
    while (Left(deadline) > 0 && Read(m, Left(deadline)))
      if (m.type == 19 && m.Text() == text)
        return !found || (*found = m, true);
    return false;
  }
  // Every log line text received within ms (stops at end of stream).
  std::vector<std::string> CollectLogLines(int ms) {
    std::vector<std::string> texts;
    const auto deadline = Deadline(ms);
    for (TestMessage m; Left(deadline) > 0 && Read(m, Left(deadline));)
      if (m.type == 19)
        texts.push_back(m.Text());
    return texts;
  }
  // True when the peer closes the connection within ms (what it sends before
  // is skipped).
  bool ClosedWithin(int ms) {
    const auto deadline = Deadline(ms);
    char buffer[4096];
    for (pollfd p{fd_, POLLIN, 0}; Left(deadline) > 0;) {
      ssize_t n = poll(&p, 1, Left(deadline)) > 0 ? recv(fd_, buffer, sizeof buffer, 0) : 1;
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
        return true;
    }
    return false;
  }

private:
  using Clock = std::chrono::steady_clock;
  static Clock::time_point Deadline(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
  static int Left(Clock::time_point deadline) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
  }
  bool ReadExactly(unsigned char* out, size_t size, Clock::time_point deadline) {
    for (size_t done = 0; done < size;) {
      pollfd p{fd_, POLLIN, 0};
      const int rc = Left(deadline) > 0 ? poll(&p, 1, Left(deadline)) : 0;
      const ssize_t n = rc > 0 ? recv(fd_, out + done, size - done, 0) : rc < 0 && errno == EINTR ? 1 : 0;
      if (n <= 0)
        return false;
      done += rc > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
  }

  int fd_ = -1;
};
