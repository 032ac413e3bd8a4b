#pragma once
// A control pipe client for tests with its own encoding of the 16-byte
// header, so that it checks the wire format rather than reusing the program's.

#include "base/uniquefd.h"
#include "common/waitfor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <tuple>
#include <vector>

inline const std::string kServicePipePath = "/opt/ostrel/velorin/etc/.spipe.velorind";

struct TestMessage {
  uint16_t magic = 0, type = 0;
  uint32_t code = 0, size = 0, tag = 0;
  std::vector<unsigned char> payload;
  auto Header() const { return std::tuple(magic, type, code, size, tag); }
  // Log lines: "time\0text\0", the text at offset tag.
  std::string Time() const { return payload.empty() ? "" : reinterpret_cast<const char*>(payload.data()); }
  std::string Text() const { return tag >= payload.size() ? "" : reinterpret_cast<const char*>(payload.data() + tag); }
};

inline std::vector<unsigned char> EncodeTestHeader(uint16_t type, uint32_t code, uint32_t size, uint32_t tag)
{
  std::vector<unsigned char> b;
  for (auto [v, n] : {std::pair<uint32_t, int>{0x1234, 2}, {type, 2}, {code, 4}, {size, 4}, {tag, 4}})
    for (int i = 0; i < n; ++i)
      b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  return b;
}

class TestControlClient {
public:
  bool Connect()
  {
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, kServicePipePath.c_str(), sizeof address.sun_path - 1);
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
  // Reads one whole message, each part within ms; false on time-out or end of stream.
  bool Read(TestMessage& m, int ms)
  {
    unsigned char h[16];
    auto get16 = [&](int at) { return uint32_t(h[at] | h[at + 1] << 8); };
    auto get32 = [&](int at) { return get16(at) | get16(at + 2) << 16; };
    if (Receive(h, sizeof h, ms) != ssize_t(sizeof h))
      return false;
    m = {uint16_t(get16(0)), uint16_t(get16(2)), get32(4), get32(8), get32(12), std::vector<unsigned char>(get32(8))};
    return Receive(m.payload.data(), m.size, ms) == ssize_t(m.size);
  }
  // True when the peer closes the connection within ms of silence; what it sends first is skipped.
  bool ClosedWithin(int ms)
  {
    char buffer[4096];
    ssize_t n = 1;
    while (n > 0)
      n = Receive(buffer, sizeof buffer, ms, 0);
    return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
  }

private:
  // With MSG_WAITALL: fewer bytes than asked only on time-out, end of stream or error.
  ssize_t Receive(void* out, size_t size, int ms, int flags = MSG_WAITALL)
  {
    const timeval limit{ms / 1000, ms % 1000 * 1000 + (ms <= 0)};
    setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return size == 0 ? 0 : recv(fd_.Get(), out, size, flags);
  }

  LUniqueFD fd_{socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
};
