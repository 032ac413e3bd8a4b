#pragma once

// Constant tables of the Layer III decoder shared by every decoder in the process.

// Scale-factor band boundaries (in spectral lines) of one sampling frequency: 22 long bands and
// 13 short bands (the short boundaries count lines of one window).
struct MP3BandTable {
  short longBounds[23];
  short shortBounds[14];
};

// Index: version × 3 + sample-rate index (MPEG-1 44100, 48000, 32000; MPEG-2 22050, 24000, 16000;
// MPEG-2.5 11025, 12000, 8000).
extern const MP3BandTable kMP3BandTables[9];

// Added to the long-block scale factors when the preflag is set.
extern const unsigned char kMP3Pretab[22];

// The standard's synthesis window D[0..256] as multiples of 2^-16 (every coefficient of the standard is
// one); the rest follows from D[512 - i] = -D[i], except at multiples of 64 where D[512 - i] = D[i].
extern const int kMP3SynthWindowHalf[257];

// Computed once, on first use, and kept for the life of the process. Read-only afterwards, so any
// thread may use it.
class MP3LookupTables {
public:
  static const MP3LookupTables& Get();

  // cos((16 + i)(2k + 1)π / 64) × 524288: the matrixing of the synthesis filter, scaled so that a
  // full-scale signal comes out at the internal sample scale (16-bit full scale × 16).
  float synthMatrix[64][32];
  float globalGain[256];   // 2^((i - 210) / 4)
  float scaleFactor[65];   // 2^(-i / 2)
  float power[8207];       // i^(4/3)
  float synthWindow[512];  // the standard's window D

  MP3LookupTables(const MP3LookupTables&) = delete;
  MP3LookupTables& operator=(const MP3LookupTables&) = delete;

private:
  MP3LookupTables();
};
