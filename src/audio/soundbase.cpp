#include "audio/soundbase.h"

#include <climits>
#include <cmath>

namespace soundformat {

int FloatToInternal(double scaled)
{
  if (scaled != scaled) {
    return 0;
  }
  if (scaled >= 2147483647.0) {
    return INT_MAX;
  }
  if (scaled <= -2147483647.0) {
    return -INT_MAX;
  }
  return static_cast<int>(scaled);
}

uint32_t LoadBE32(const unsigned char* b)
{
  return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
         (static_cast<uint32_t>(b[2]) << 8) | b[3];
}

void StoreBE32(unsigned char* b, uint32_t v)
{
  b[0] = static_cast<unsigned char>(v >> 24);
  b[1] = static_cast<unsigned char>(v >> 16);
  b[2] = static_cast<unsigned char>(v >> 8);
  b[3] = static_cast<unsigned char>(v);
}

}  // namespace soundformat

namespace {

// Segment starts of the decoded mu-law magnitudes (G.711: 2112 * (2^e - 1)
// in the internal scale), and the encoder's thresholds, each half a step
// below its segment's first level so that segment edges round to nearest.
constexpr int kUlawBase[8] = {0, 2112, 6336, 14784, 31680, 65472, 133056, 268224};
constexpr int kUlawThreshold[8] = {0, 1984, 6080, 14272, 30656, 63424, 128960, 260032};

// A-law: decoded level of mantissa 0 in each segment (half a step above the
// segment's lower edge) and the segment edges used by the encoder.
constexpr int kAlawBase[8] = {128, 4224, 8448, 16896, 33792, 67584, 135168, 270336};
constexpr int kAlawThreshold[8] = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144};

// The largest e with table[e] <= magnitude.
int Segment(const int (&table)[8], int64_t magnitude)
{
  int e = 7;
  while (e > 0 && table[e] > magnitude) {
    --e;
  }
  return e;
}

}  // namespace

const int LSFALAW::D[8] = {256, 256, 512, 1024, 2048, 4096, 8192, 16384};

int LSFULAW::Get() const
{
  int b = ~b_ & 0xFF;
  int e = (b >> 4) & 7;
  int m = b & 0x0F;
  int magnitude = kUlawBase[e] + (m << (e + 7));
  return (b & 0x80) ? -magnitude : magnitude;
}

void LSFULAW::Set(int v)
{
  int sign = v < 0 ? 0x80 : 0;
  int64_t magnitude = v < 0 ? -static_cast<int64_t>(v) : v;
  int e = Segment(kUlawThreshold, magnitude);
  int64_t m = (magnitude - kUlawThreshold[e]) >> (e + 7);
  if (m > 15) {
    m = 15;
  }
  b_ = static_cast<uint8_t>(~(sign | (e << 4) | static_cast<int>(m)) & 0xFF);
}

int LSFALAW::Get() const
{
  int b = b_ ^ 0x55;
  int e = (b >> 4) & 7;
  int m = b & 0x0F;
  int magnitude = kAlawBase[e] + D[e] * m;
  return (b & 0x80) ? magnitude : -magnitude;
}

void LSFALAW::Set(int v)
{
  int start = v >= 0 ? 0x80 : 0x00;
  int64_t magnitude = v < 0 ? -static_cast<int64_t>(v) : v;
  int e = Segment(kAlawThreshold, magnitude);
  int64_t m = (magnitude - kAlawThreshold[e]) / D[e];
  if (m > 15) {
    m = 15;
  }
  b_ = static_cast<uint8_t>((start | (e << 4) | static_cast<int>(m)) ^ 0x55);
}

int ClearAudioBuffer(int* samples, int count)
{
  if (count > 0) {
    memset(samples, 0, static_cast<size_t>(count) * sizeof(int));
  }
  return 0;
}

int ClearAudioBuffer(int* samples, int frames, unsigned char channels)
{
  return ClearAudioBuffer(samples, frames * channels);
}

namespace {

int PeakOf(const int* samples, int count, int stride)
{
  int hi = 0;
  int lo = 0;
  for (int i = 0; i < count; ++i) {
    int v = samples[static_cast<size_t>(i) * stride];
    hi = v > hi ? v : hi;
    lo = v < lo ? v : lo;
  }
  int64_t negLo = -static_cast<int64_t>(lo);
  int64_t peak = negLo > hi ? negLo : hi;
  return peak > INT_MAX ? INT_MAX : static_cast<int>(peak);
}

}  // namespace

int GetBufferPeak(const int* samples, int frames, unsigned char channels)
{
  return PeakOf(samples, frames * channels, 1);
}

int GetBufferPeakChan(unsigned char channel, const int* samples, int frames, unsigned char channels)
{
  if (channels <= 1) {
    return PeakOf(samples, frames, 1);
  }
  if (channel >= channels) {
    return 0;
  }
  return PeakOf(samples + channel, frames, channels);
}

LDB GetBufferPeakDBChan(unsigned char channel, const int* samples, int frames, unsigned char channels)
{
  int p = GetBufferPeakChan(channel, samples, frames, channels);
  if (p == 0) {
    return LDB::Off();
  }
  double db = 20.0 * log10(p / 131072.0);
  db += p > 131071 ? 0.5 : -0.5;
  return LDB(static_cast<int>(db));
}
