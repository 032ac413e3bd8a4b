#pragma once

#include <cstdint>

// Reads a big-endian bit stream. The data must be followed by at least 4 readable bytes (the decoder's
// buffers carry that padding); positions at or beyond the end read as zero bits, so corrupt lengths in
// a stream can never make it read outside its buffer.
class MP3BitReader {
public:
  MP3BitReader(const unsigned char* data, int bytes) : data_(data), bytes_(bytes) {}

  // Up to 25 bits.
  unsigned Peek(int bits) const
  {
    unsigned byte = pos_ >> 3;
    if (byte >= (unsigned)bytes_ || bits == 0)
      return 0;
    const unsigned char* p = data_ + byte;
    uint32_t word = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    word <<= (pos_ & 7);
    return word >> (32 - bits);
  }
  void Skip(int bits) { pos_ += bits; }
  unsigned Read(int bits)
  {
    unsigned v = Peek(bits);
    pos_ += bits;
    return v;
  }
  unsigned ReadBit() { return Read(1); }

  int GetPosition() const { return (int)pos_; }
  void SetPosition(int bit) { pos_ = bit < 0 ? 0u : (unsigned)bit; }

private:
  const unsigned char* data_;
  int bytes_;
  unsigned pos_ = 0;
};
