#pragma once

#include <cstdint>

// Reads a big-endian bit stream. The data must be followed by at least 4 readable bytes (the decoder's
// buffers carry that padding); positions at or beyond the end read as zero bits, so corrupt lengths in
// a stream can never make it read outside its buffer.
class MP3BitReader
{
public:
    MP3BitReader(const unsigned char* data, int bytes) : mData(data), mBytes(bytes) {}

    // Up to 25 bits.
    unsigned Peek(int bits) const
    {
        unsigned byte = mPos >> 3;
        if (byte >= (unsigned)mBytes || bits == 0)
            return 0;
        const unsigned char* p = mData + byte;
        uint32_t word = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
        word <<= (mPos & 7);
        return word >> (32 - bits);
    }
    void Skip(int bits) { mPos += bits; }
    unsigned Read(int bits)
    {
        unsigned v = Peek(bits);
        mPos += bits;
        return v;
    }
    unsigned ReadBit() { return Read(1); }

    int GetPosition() const { return (int)mPos; }
    void SetPosition(int bit) { mPos = bit < 0 ? 0u : (unsigned)bit; }

private:
    const unsigned char* mData;
    int mBytes;
    unsigned mPos = 0;
};
