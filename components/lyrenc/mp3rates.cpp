#include "lyrenc/mp3rates.h"

#include <cstdlib>

namespace {

struct LMpegVersionRates {
  int sampleRates[3];
  int bitRates[14];  // kbit/s; 0 ends a shorter list
};

// MPEG-1, MPEG-2 (low sampling frequencies) and MPEG-2.5.
constexpr LMpegVersionRates kMpegVersions[] = {
    {{32000, 44100, 48000}, {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{16000, 22050, 24000}, {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{8000, 11025, 12000}, {8, 16, 24, 32, 40, 48, 56, 64}},
};

// Every standard rate, highest first.
constexpr int kSampleRates[] = {48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};

// Every bit rate that some version allows, ascending.
constexpr int kBitRates[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320};

const LMpegVersionRates* VersionOf(int rate)
{
  for (const LMpegVersionRates& version : kMpegVersions) {
    for (int r : version.sampleRates) {
      if (r == rate)
        return &version;
    }
  }
  return nullptr;
}

}  // namespace

int RoundToStandardBitRate(int kbps)
{
  int best = kBitRates[0];
  for (int b : kBitRates) {
    if (std::abs(b - kbps) < std::abs(best - kbps))
      best = b;
  }
  return best;
}

bool IsBitRateRangeValidAt(int rate, int low, int high)
{
  const LMpegVersionRates* version = VersionOf(rate);
  if (version == nullptr)
    return false;
  for (int b : version->bitRates) {
    if (b != 0 && b >= low && b <= high)
      return true;
  }
  return false;
}

int ChooseOutputRate(int inputRate, int low, int high)
{
  if (IsBitRateRangeValidAt(inputRate, low, high))
    return inputRate;
  for (int rate : kSampleRates) {
    if (rate < inputRate && IsBitRateRangeValidAt(rate, low, high))
      return rate;
  }
  for (int i = static_cast<int>(sizeof kSampleRates / sizeof kSampleRates[0]) - 1; i >= 0; --i) {
    if (kSampleRates[i] > inputRate && IsBitRateRangeValidAt(kSampleRates[i], low, high))
      return kSampleRates[i];
  }
  return 0;
}

void NarrowBitRatesTo(int rate, int& low, int& high)
{
  const LMpegVersionRates* version = VersionOf(rate);
  if (version == nullptr)
    return;
  int narrowLow = 0;
  int narrowHigh = 0;
  for (int b : version->bitRates) {
    if (b == 0 || b < low || b > high)
      continue;
    if (narrowLow == 0)
      narrowLow = b;
    narrowHigh = b;
  }
  if (narrowLow == 0)
    return;
  low = narrowLow;
  high = narrowHigh;
}
