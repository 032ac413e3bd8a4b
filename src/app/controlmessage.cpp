#include "app/controlmessage.h"

namespace {

void Put16(unsigned char* out, uint16_t value)
{
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* out, uint32_t value)
{
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint16_t Get16(const unsigned char* in)
{
  return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

uint32_t Get32(const unsigned char* in)
{
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) | (static_cast<uint32_t>(in[2]) << 16) |
         (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace

void LEncodeControlHeader(const LControlHeader& header, unsigned char out[kControlHeaderSize])
{
  Put16(out, header.magic);
  Put16(out + 2, header.type);
  Put32(out + 4, header.code);
  Put32(out + 8, header.size);
  Put32(out + 12, header.tag);
}

LControlHeader LDecodeControlHeader(const unsigned char in[kControlHeaderSize])
{
  return LControlHeader{Get16(in), Get16(in + 2), Get32(in + 4), Get32(in + 8), Get32(in + 12)};
}
