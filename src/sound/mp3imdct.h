#pragma once

struct MP3GranuleInfo;

// Alias reduction: the butterflies across every sub-band boundary of long blocks, of only the first
// boundary of mixed blocks, of none in short blocks. `subbands` is how many leading sub-bands may be
// nonzero; the result may reach one sub-band further, which the return value says.
int AliasReduction(float xr[576], const MP3GranuleInfo& granule, int subbands);

// IMDCT of each sub-band with the window of its block type, overlap-add with the previous granule's
// second half (`overlap`, which receives this granule's), and the frequency inversion of odd
// sub-bands. Short-block lines must be in the IMDCT order (window-interleaved). Only the first
// `subbands` sub-bands may hold nonzero lines. Writes out[time][sub-band] for the synthesis.
void IMDCTSynthesize(const float xr[576], const MP3GranuleInfo& granule, int subbands, float overlap[32][18],
                     float out[18][32]);
