#pragma once

#include "sound/mp3maindata.h"
#include "sound/mp3scalefactors.h"
#include "sound/mp3sideinfo.h"
#include "sound/mp3synth.h"

struct MP3BandTable;
struct MP3Header;

// Decodes Layer III frames into internal samples. It knows nothing of files: it is handed one frame
// at a time (header, side information, main data) and keeps what decoding needs between frames: the
// bit reservoir, the IMDCT overlap and the synthesis history. Every buffer is part of the object, so
// decoding allocates nothing. Used by one thread at a time.
class MP3FrameDecoder {
public:
  MP3FrameDecoder();

  // Prepares for a stream whose frames share this header's version and sample rate (the band
  // layout and the reorder tables depend on them) and clears all state.
  void Configure(const MP3Header& reference);

  // Clears the IMDCT overlap and the synthesis history (seeking); the bit reservoir is kept.
  void ResetFilters();

  // Decodes one frame. `side` holds the side information (GetSideInfoLength() bytes, followed by 4
  // readable bytes), `mainData` the frame's remaining bytes. Writes GetSamplesPerFrame() frames of
  // header.GetChannels() interleaved samples to `out`. Returns false, writing nothing, when the bit
  // reservoir lacks the bytes the frame refers to; its own bytes are still kept for later frames.
  bool DecodeFrame(const MP3Header& header, const unsigned char* side, const unsigned char* mainData, int mainLength,
                   int* out);

private:
  void DecodeGranule(const MP3Header& header, int gr, class MP3BitReader& br, int& bit, int* out);

  const MP3BandTable* bands_ = nullptr;
  bool mpeg1_ = true;
  MP3MainData mainData_;
  MP3SideInfo sideInfo_;
  MP3ScaleFactors scaleFactors_[2];
  int quantized_[576];
  float xr_[2][576];
  float reordered_[576];
  float subbandSamples_[2][18][32];
  float overlap_[2][32][18];
  int overlapSubbands_[2];  // sub-bands whose overlap may be nonzero
  MP3PolyphaseSynth synth_;
  unsigned short shortOrder_[576];
  unsigned short mixedOrder_[576];
};
