#include "audio/mp3header.h"

namespace {

// By the two version bits of the header: 00 MPEG-2.5, 01 reserved, 10 MPEG-2, 11 MPEG-1.
const int kVersionFromBits[4] = {2, -1, 1, 0};

// Bits per second by bit-rate index; index 0 (free format) and 15 are refused.
const int kBitRates[2][16] = {
    {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000, 0},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000, 0},
};

const int kBaseSampleRates[3] = {44100, 48000, 32000};

// Side-information bytes by [MPEG-1 or not][stereo].
const int kSideInfoLength[2][2] = {{17, 32}, {9, 17}};

const int kLayerIIIBits = 1;

}  // namespace

bool MP3Header::Parse(const unsigned char b[4])
{
  if (b[0] != 0xFF || b[1] < 0xE0)
    return false;
  int v = kVersionFromBits[(b[1] >> 3) & 3];
  if (v < 0 || ((b[1] >> 1) & 3) != kLayerIIIBits)
    return false;
  int rate = kBitRates[v == 0 ? 0 : 1][b[2] >> 4];
  int srIndex = (b[2] >> 2) & 3;
  if (rate == 0 || srIndex >= 3)
    return false;
  version = v;
  protection = b[1] & 1;
  bitRate = rate;
  sampleRateIndex = srIndex;
  padding = (b[2] >> 1) & 1;
  channelMode = b[3] >> 6;
  modeExtension = (b[3] >> 4) & 3;
  return true;
}

int MP3Header::GetSampleRate() const
{
  return kBaseSampleRates[sampleRateIndex] >> version;
}

int MP3Header::GetFrameLength() const
{
  return GetSlotFactor() * bitRate / GetSampleRate() + padding;
}

int MP3Header::GetSideInfoLength() const
{
  return kSideInfoLength[version == 0 ? 0 : 1][IsStereo() ? 1 : 0];
}

int MP3Header::GetMainDataLength() const
{
  int n = GetFrameLength() - 4 - GetCrcLength() - GetSideInfoLength();
  return n > 0 ? n : 0;
}

int MP3WholeFramesLength(const unsigned char* data, int size)
{
  int at = 0;
  MP3Header h;
  while (at < size) {
    if (data[at] != 0xFF) {
      at++;
      continue;
    }
    if (size - at < 4)
      break;
    if (!h.Parse(data + at)) {
      at++;
      continue;
    }
    const int length = h.GetFrameLength();
    if (length > size - at)
      break;
    at += length;
  }
  return at;
}
