#pragma once
#include <cstdint>

// The control pipe's message frame: a 16-byte header, little-endian on the
// wire, followed by `size` payload bytes.
//
//   0  2  magic 0x1234
//   2  2  type (bit 15 in a request: size given, no payload follows)
//   4  4  code: control code, reply result, notification code or log level
//   8  4  size: payload bytes
//  12  4  tag: request sequence number, or a type-specific value
struct LControlHeader {
  uint16_t magic = 0;
  uint16_t type = 0;
  uint32_t code = 0;
  uint32_t size = 0;
  uint32_t tag = 0;
};

inline constexpr unsigned int kControlHeaderSize = 16;
inline constexpr uint16_t kControlMagic = 0x1234;
inline constexpr uint16_t kControlNoPayload = 0x8000;

enum LControlType : uint16_t {
  kControlRequest = 1,        // desktop -> service: run a control code
  kControlRequestResult = 2,  // ... and answer with a reply
  kControlRequestData = 3,    // ... and answer with a reply carrying data
  kControlNotification = 17,  // service -> desktop: engine notification
  kControlReply = 18,         // service -> desktop: answer to 2 or 3
  kControlLogLine = 19,       // service -> desktop: one log line
};

// The largest payload either side accepts.  The header's size comes from the
// peer; above this the connection is treated as broken instead of allocating
// what it asks for.  Log lines (at most a few kilobytes) and control data
// fit many times over.
inline constexpr uint32_t kControlMaxPayload = 64 * 1024;

// Payloads up to this size are read into a buffer on the stack.
inline constexpr unsigned int kControlInlinePayload = 8192;

void LEncodeControlHeader(const LControlHeader& header, unsigned char out[kControlHeaderSize]);
LControlHeader LDecodeControlHeader(const unsigned char in[kControlHeaderSize]);

// A header with the magic filled in.
inline LControlHeader LMakeControlHeader(uint16_t type, uint32_t code, uint32_t size, uint32_t tag)
{
  return LControlHeader{kControlMagic, type, code, size, tag};
}
