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

  // Log lines: "time\0text\0".
  std::string Time() const { return payload.empty() ? "" : std::string(reinterpret_cast<const char*>(payload.data())); }
  std::string Text() const
  {
    if (tag >= payload.size())
      return "";
    return std::string(reinterpret_cast<const char*>(payload.data() + tag));
  }
};

inline std::vector<unsigned char> EncodeTestHeader(uint16_t type, uint32_t code, uint32_t size, uint32_t tag,
                                                   uint16_t magic = 0x1234)
{
  std::vector<unsigned char> b(16);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
      b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  put(0, magic, 2);
  put(2, type, 2);
  put(4, code, 4);
  put(8, size, 4);
  put(12, tag, 4);
  return b;
}

class TestControlClient {
public:
  TestControlClient() = default;
  ~TestControlClient() { Close(); }
  TestControlClient(const TestControlClient&) = delete;
  TestControlClient& operator=(const TestControlClient&) = delete;

  bool Connect(const std::string& path = ServicePipePath())
  {
    Close();
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Close();
      return false;
    }
    return true;
  }
  void Close()
  {
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
  }
  int Descriptor() const { return fd_; }

  bool SendRaw(const void* data, size_t size)
  {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
      if (n <= 0)
        return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }
  bool SendRaw(const std::vector<unsigned char>& bytes) { return SendRaw(bytes.data(), bytes.size()); }
  bool SendRequest(uint16_t type, uint32_t code, uint32_t tag, const std::vector<unsigned char>& data = {})
  {
    auto bytes = EncodeTestHeader(type, code, static_cast<uint32_t>(data.size()), tag);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return SendRaw(bytes);
  }

  // Reads one whole message within ms; false on time-out or end of stream.
  bool Read(TestMessage& message, int ms)
  {
    unsigned char header[16];
    if (!ReadExactly(header, sizeof header, ms))
      return false;
    auto get = [&](size_t at, int n) {
      uint32_t v = 0;
      for (int i = 0; i < n; ++i)
        v |= static_cast<uint32_t>(header[at + i]) << (8 * i);
      return v;
    };
    message.magic = static_cast<uint16_t>(get(0, 2));
    message.type = static_cast<uint16_t>(get(2, 2));
    message.code = get(4, 4);
    message.size = get(8, 4);
    message.tag = get(12, 4);
    message.payload.assign(message.size, 0);
    return message.size == 0 || ReadExactly(message.payload.data(), message.size, ms);
  }

  // Reads messages until a log line with this text arrives.
  bool WaitForLogLine(const std::string& text, int ms, TestMessage* found = nullptr)
  {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    TestMessage m;
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0 || !Read(m, left))
        return false;
      if (m.type == 19 && m.Text() == text) {
        if (found)
          *found = m;
        return true;
      }
    }
  }

  // Every log line text received within ms (stops at end of stream).
  std::vector<std::string> CollectLogLines(int ms)
  {
    std::vector<std::string> texts;
    TestMessage m;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0 || !Read(m, left))
        return texts;
      if (m.type == 19)
        texts.push_back(m.Text());
    }
  }

  // True when the peer closes the connection within ms (anything it sends
  // before is skipped).
  bool ClosedWithin(int ms)
  {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0)
        return false;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, left) <= 0)
        continue;
      ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
        return true;
    }
  }

private:
  bool ReadExactly(unsigned char* out, size_t size, int ms)
  {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    size_t done = 0;
    while (done < size) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0)
        return false;
      pollfd p{fd_, POLLIN, 0};
      int rc = poll(&p, 1, left);
      if (rc < 0 && errno == EINTR)
        continue;
      if (rc <= 0)
        return false;
      ssize_t n = recv(fd_, out + done, size - done, 0);
      if (n <= 0)
        return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  int fd_ = -1;
};
