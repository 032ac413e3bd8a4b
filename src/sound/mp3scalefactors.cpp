#include "sound/mp3scalefactors.h"

#include <cstring>

#include "audio/mp3header.h"
#include "sound/mp3bitreader.h"
#include "sound/mp3sideinfo.h"

namespace {

// MPEG-1: bits of the scale factors of bands 0-10 and 11-20 by scalefac_compress.
const unsigned char kSlen[2][16] = {
    {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
    {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
};

// MPEG-1 scale-factor selection groups of long bands.
const int kScfsiBands[5] = {0, 6, 11, 16, 21};

// MPEG-2: number of scale factors in each of the four parts, by layout (the six ways of coding
// scalefac_compress) and block kind (long, short, mixed); short counts are bands × windows.
const unsigned char kPartSizes[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},       {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

void DecodeMpeg1(MP3BitReader& br, int gr, const int scfsi[4], const MP3GranuleInfo& g, MP3ScaleFactors& sf)
{
  int slen1 = kSlen[0][g.scalefacCompress & 15];
  int slen2 = kSlen[1][g.scalefacCompress & 15];
  std::memset(sf.illegalL, 7, sizeof(sf.illegalL));
  std::memset(sf.illegalS, 7, sizeof(sf.illegalS));
  if (g.IsShort()) {
    int sfb = 0;
    if (g.mixedBlock) {
      for (; sfb < 8; sfb++)
        sf.l[sfb] = (unsigned char)br.Read(slen1);
      for (int i = 8; i < 22; i++)
        sf.l[i] = 0;
      sfb = 3;
    } else {
      std::memset(sf.l, 0, sizeof(sf.l));
    }
    for (; sfb < 12; sfb++) {
      int bits = sfb < 6 ? slen1 : slen2;
      for (int w = 0; w < 3; w++)
        sf.s[sfb][w] = (unsigned char)br.Read(bits);
    }
    sf.s[12][0] = sf.s[12][1] = sf.s[12][2] = 0;
    return;
  }
  for (int group = 0; group < 4; group++) {
    // Granule 1 keeps granule 0's values of a group whose selection bit is set.
    if (gr == 1 && scfsi[group])
      continue;
    int bits = group < 2 ? slen1 : slen2;
    for (int sfb = kScfsiBands[group]; sfb < kScfsiBands[group + 1]; sfb++)
      sf.l[sfb] = (unsigned char)br.Read(bits);
  }
  sf.l[21] = 0;
}

void DecodeLowerRates(MP3BitReader& br, bool intensityRight, MP3GranuleInfo& g, MP3ScaleFactors& sf)
{
  int slen[4] = {0, 0, 0, 0};
  int layout;
  int c = g.scalefacCompress;
  g.preflag = 0;
  if (intensityRight) {
    c >>= 1;
    if (c < 180) {
      slen[0] = c / 36, slen[1] = (c % 36) / 6, slen[2] = (c % 36) % 6;
      layout = 3;
    } else if (c < 244) {
      c -= 180;
      slen[0] = (c % 64) >> 4, slen[1] = (c % 16) >> 2, slen[2] = c % 4;
      layout = 4;
    } else {
      c -= 244;
      slen[0] = c / 3, slen[1] = c % 3;
      layout = 5;
    }
  } else if (c < 400) {
    slen[0] = (c >> 4) / 5, slen[1] = (c >> 4) % 5, slen[2] = (c % 16) >> 2, slen[3] = c % 4;
    layout = 0;
  } else if (c < 500) {
    c -= 400;
    slen[0] = (c >> 2) / 5, slen[1] = (c >> 2) % 5, slen[2] = c % 4;
    layout = 1;
  } else {
    c -= 500;
    slen[0] = c / 3, slen[1] = c % 3;
    layout = 2;
    g.preflag = 1;
  }
  int kind = g.IsShort() ? (g.mixedBlock ? 2 : 1) : 0;
  int longCount = kind == 0 ? 21 : (kind == 2 ? 6 : 0);
  int shortStart = kind == 2 ? 3 : 0;

  std::memset(sf.l, 0, sizeof(sf.l));
  std::memset(sf.s, 0, sizeof(sf.s));
  std::memset(sf.illegalL, 0, sizeof(sf.illegalL));
  std::memset(sf.illegalS, 0, sizeof(sf.illegalS));
  int n = 0;
  for (int part = 0; part < 4; part++) {
    int bits = slen[part];
    unsigned char illegal = (unsigned char)((1 << bits) - 1);
    for (int i = 0; i < kPartSizes[layout][kind][part]; i++, n++) {
      unsigned char v = (unsigned char)br.Read(bits);
      if (n < longCount) {
        sf.l[n] = v;
        sf.illegalL[n] = illegal;
      } else {
        int m = n - longCount;
        int sfb = shortStart + m / 3;
        sf.s[sfb][m % 3] = v;
        sf.illegalS[sfb] = illegal;
      }
    }
  }
}

}  // namespace

void DecodeScaleFactors(MP3BitReader& br, const MP3Header& header, int gr, const int scfsi[4], bool intensityRight,
                        MP3GranuleInfo& granule, MP3ScaleFactors& sf)
{
  if (header.version == 0)
    DecodeMpeg1(br, gr, scfsi, granule, sf);
  else
    DecodeLowerRates(br, intensityRight, granule, sf);
}
