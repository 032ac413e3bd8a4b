#include "sound/mp3requantize.h"

#include <cstring>

#include "sound/mp3scalefactors.h"
#include "sound/mp3sideinfo.h"
#include "sound/mp3tables.h"

namespace {

inline int ScaleIndex(int index)
{
  return index < 64 ? index : 64;
}

// Requantises lines [start, end) (clipped to count) with one gain. The Huffman decoder never yields
// a magnitude above 15 + 2^13 - 1 = 8206, the last entry of the power table.
inline void Scale(const int* in, int start, int end, int count, float gain, const float* power, float* xr)
{
  if (end > count)
    end = count;
  for (int i = start; i < end; i++) {
    int v = in[i];
    unsigned sign = (unsigned)v & 0x80000000u;
    float m = power[v < 0 ? -v : v] * gain;
    unsigned bits;
    std::memcpy(&bits, &m, 4);
    bits |= sign;
    std::memcpy(&xr[i], &bits, 4);
  }
}

}  // namespace

int MixedBlockLongEnd(const MP3BandTable& bands)
{
  return bands.shortBounds[3] * 3;
}

void RequantizeSpectrum(const int in[576], int count, const MP3GranuleInfo& g, const MP3ScaleFactors& sf,
                        const MP3BandTable& bands, bool mpeg1, float xr[576])
{
  const MP3LookupTables& t = MP3LookupTables::Get();
  float global = t.globalGain[g.globalGain & 255];
  int multiplier = 1 + g.scalefacScale;
  if (count > 576)
    count = 576;

  int longBands = 22;
  int shortStart = 13;
  if (g.IsShort()) {
    longBands = g.mixedBlock ? MixedBlockLongBands(mpeg1) : 0;
    shortStart = g.mixedBlock ? 3 : 0;
  }
  int line = 0;
  for (int sfb = 0; sfb < longBands && line < count; sfb++) {
    int end = bands.longBounds[sfb + 1];
    int index = multiplier * (sf.l[sfb] + (g.preflag ? kMP3Pretab[sfb] : 0));
    Scale(in, line, end, count, global * t.scaleFactor[ScaleIndex(index)], t.power, xr);
    line = end;
  }
  if (shortStart < 13 && line < bands.shortBounds[shortStart] * 3) {
    // Only MPEG-2.5 at 8000 Hz leaves a gap between the long and short parts of a mixed block.
    for (; line < bands.shortBounds[shortStart] * 3; line++)
      xr[line] = 0.0f;
  }
  for (int sfb = shortStart; sfb < 13 && line < count; sfb++) {
    int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
    for (int w = 0; w < 3; w++) {
      int index = 4 * g.subblockGain[w] + multiplier * sf.s[sfb][w];
      Scale(in, line, line + width, count, global * t.scaleFactor[ScaleIndex(index)], t.power, xr);
      line += width;
    }
  }
  if (line > count)
    line = count;
  for (int i = line; i < 576; i++)
    xr[i] = 0.0f;
}

void BuildReorderTables(const MP3BandTable& bands, unsigned short shortOrder[576], unsigned short mixedOrder[576])
{
  for (int sfb = 0; sfb < 13; sfb++) {
    int start = bands.shortBounds[sfb];
    int width = bands.shortBounds[sfb + 1] - start;
    for (int w = 0; w < 3; w++)
      for (int f = 0; f < width; f++)
        shortOrder[(start + f) * 3 + w] = (unsigned short)(start * 3 + w * width + f);
  }
  int longEnd = MixedBlockLongEnd(bands);
  for (int i = 0; i < 576; i++)
    mixedOrder[i] = i < longEnd ? (unsigned short)i : shortOrder[i];
}

void ReorderShortBlocks(const float in[576], const unsigned short order[576], float out[576])
{
  for (int i = 0; i < 576; i++)
    out[i] = in[order[i]];
}
