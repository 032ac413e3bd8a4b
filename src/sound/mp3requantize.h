#pragma once

struct MP3BandTable;
struct MP3GranuleInfo;
struct MP3ScaleFactors;

// Requantises the quantised lines of one granule and channel (only the first `count` may be nonzero)
// into xr, in the order they were coded: short blocks by band, then window, then line. Lines from
// `count` on are set to 0.
void RequantizeSpectrum(const int in[576], int count, const MP3GranuleInfo& granule, const MP3ScaleFactors& sf,
                        const MP3BandTable& bands, bool mpeg1, float xr[576]);

// Builds the gather tables that bring short-block lines from their coded order into the order the
// IMDCT takes (per sub-band: 6 lines × 3 windows, window-interleaved): `shortOrder` for short blocks
// and `mixedOrder` for mixed blocks, which keeps the lines of the long part (the first three short
// bands' worth) in place.
void BuildReorderTables(const MP3BandTable& bands, unsigned short shortOrder[576], unsigned short mixedOrder[576]);

// out[i] = in[order[i]].
void ReorderShortBlocks(const float in[576], const unsigned short order[576], float out[576]);

// The first line of the short bands in a mixed block, which is also the end of its long bands.
int MixedBlockLongEnd(const MP3BandTable& bands);
// How many long bands a mixed block has (8 for MPEG-1, 6 otherwise).
inline int MixedBlockLongBands(bool mpeg1)
{
  return mpeg1 ? 8 : 6;
}
