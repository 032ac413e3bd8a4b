#pragma once

class MP3BitReader;
struct MP3Header;
struct MP3GranuleInfo;

// Scale factors of one channel. Granule 1 of MPEG-1 may reuse those of granule 0 (scale-factor
// selection information), so one object per channel lives across the granules of a frame.
struct MP3ScaleFactors {
  unsigned char l[22];     // long bands; band 21 has none and stays 0
  unsigned char s[13][3];  // short bands × windows; band 12 has none and stays 0
  // The intensity position that marks a band as not intensity-coded: 7 for MPEG-1, (1 << slen) - 1
  // for the lower sampling frequencies.
  unsigned char illegalL[22];
  unsigned char illegalS[13];
};

// Reads the scale factors of granule `gr`, channel `ch` from the reader, which stands at the start of
// that granule's data. For MPEG-2 and 2.5 this also sets the granule's preflag, which those versions
// code inside scalefac_compress. `intensityRight` is true for the right channel of a joint-stereo
// frame with intensity stereo (it selects the other MPEG-2 scale-factor layout).
void DecodeScaleFactors(MP3BitReader& br, const MP3Header& header, int gr, const int scfsi[4], bool intensityRight,
                        MP3GranuleInfo& granule, MP3ScaleFactors& sf);
