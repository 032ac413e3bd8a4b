#include "sound/mp3framedecoder.h"

#include <cstring>

#include "audio/mp3header.h"
#include "sound/mp3bitreader.h"
#include "sound/mp3huffman.h"
#include "sound/mp3imdct.h"
#include "sound/mp3requantize.h"
#include "sound/mp3stereo.h"
#include "sound/mp3tables.h"

namespace {

// The number of sub-bands (of 18 lines) that hold the first `lines` lines.
inline int Subbands(int lines)
{
  return (lines + 17) / 18;
}

// Reordering a short block moves a coded line at most to the end of its short band (in IMDCT order:
// that band's end × 3), so the nonzero lines stay below the end of the band of the last one.
int ReorderedCount(const MP3BandTable& bands, int count)
{
  if (count <= 0)
    return 0;
  for (int sfb = 0; sfb < 13; sfb++)
    if (count <= bands.shortBounds[sfb + 1] * 3)
      return bands.shortBounds[sfb + 1] * 3;
  return 576;
}

}  // namespace

MP3FrameDecoder::MP3FrameDecoder()
{
  // Build the shared tables now rather than inside the first frame.
  MP3LookupTables::Get();
  MP3HuffmanTables::Get();
  MP3Header h;
  h.channelMode = 0;
  h.bitRate = 128000;
  Configure(h);
}

void MP3FrameDecoder::Configure(const MP3Header& reference)
{
  bands_ = &kMP3BandTables[reference.GetBandTableIndex()];
  mpeg1_ = reference.version == 0;
  BuildReorderTables(*bands_, shortOrder_, mixedOrder_);
  std::memset(scaleFactors_, 0, sizeof(scaleFactors_));
  mainData_.Clear();
  ResetFilters();
}

void MP3FrameDecoder::ResetFilters()
{
  std::memset(overlap_, 0, sizeof(overlap_));
  overlapSubbands_[0] = overlapSubbands_[1] = 0;
  synth_.Reset();
}

bool MP3FrameDecoder::DecodeFrame(const MP3Header& header, const unsigned char* side, const unsigned char* mainData,
                                  int mainLength, int* out)
{
  DecodeSideInformation(header, side, sideInfo_);
  if (!mainData_.Load(sideInfo_.mainDataBegin, mainData, mainLength))
    return false;
  MP3BitReader br(mainData_.buffer, mainData_.held);
  int bit = 0;
  int channels = header.GetChannels();
  for (int gr = 0; gr < header.GetGranules(); gr++)
    DecodeGranule(header, gr, br, bit, out + gr * 576 * channels);
  return true;
}

void MP3FrameDecoder::DecodeGranule(const MP3Header& header, int gr, MP3BitReader& br, int& bit, int* out)
{
  int channels = header.GetChannels();
  bool jointStereo = channels == 2 && header.channelMode == 1;
  bool intensity = jointStereo && (header.modeExtension & 1);
  int count[2] = {0, 0};
  for (int ch = 0; ch < channels; ch++) {
    MP3GranuleInfo& g = sideInfo_.granule[gr][ch];
    br.SetPosition(bit);
    int end = bit + g.part23Length;
    DecodeScaleFactors(br, header, gr, sideInfo_.scfsi[ch], intensity && ch == 1, g, scaleFactors_[ch]);
    count[ch] = DecodeHuffmanData(br, end, g, quantized_);
    RequantizeSpectrum(quantized_, count[ch], g, scaleFactors_[ch], *bands_, mpeg1_, xr_[ch]);
    bit = end;
  }
  if (jointStereo && header.modeExtension)
    JointStereoProcessing(header, sideInfo_.granule[gr][1], scaleFactors_[1], *bands_, xr_[0], xr_[1], count);

  int widest = 0;
  for (int ch = 0; ch < channels; ch++) {
    const MP3GranuleInfo& g = sideInfo_.granule[gr][ch];
    float* xr = xr_[ch];
    int lines = count[ch];
    if (g.IsShort()) {
      ReorderShortBlocks(xr, g.mixedBlock ? mixedOrder_ : shortOrder_, reordered_);
      xr = reordered_;
      lines = ReorderedCount(*bands_, lines);
    }
    int subbands = AliasReduction(xr, g, Subbands(lines));
    IMDCTSynthesize(xr, g, subbands, overlap_[ch], subbandSamples_[ch]);
    // This granule's output reaches as far as its own lines or the previous granule's overlap.
    int reach = subbands > overlapSubbands_[ch] ? subbands : overlapSubbands_[ch];
    overlapSubbands_[ch] = subbands;
    if (reach > widest)
      widest = reach;
  }
  synth_.Synthesize(subbandSamples_, channels, widest, out);
}
