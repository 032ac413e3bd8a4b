#include "sound/mp3sideinfo.h"

#include "audio/mp3header.h"
#include "sound/mp3bitreader.h"
#include "sound/mp3tables.h"

namespace {

// Region boundaries as the standard derives them: from region0_count and region1_count for normal
// blocks; fixed for window switching (the short-block boundary of 9 windows, else the long band 8).
void SetRegions(MP3GranuleInfo& g, const MP3BandTable& bands, int region0Count, int region1Count)
{
  if (g.windowSwitching) {
    g.region1Start = (g.blockType == 2 && !g.mixedBlock) ? bands.shortBounds[3] * 3 : bands.longBounds[8];
    g.region2Start = 576;
    return;
  }
  int r1 = region0Count + 1;
  int r2 = region0Count + region1Count + 2;
  g.region1Start = bands.longBounds[r1 > 22 ? 22 : r1];
  g.region2Start = bands.longBounds[r2 > 22 ? 22 : r2];
}

void ReadGranule(MP3BitReader& br, const MP3Header& h, const MP3BandTable& bands, MP3GranuleInfo& g)
{
  bool mpeg1 = h.version == 0;
  g.part23Length = (int)br.Read(12);
  g.bigValues = (int)br.Read(9);
  if (g.bigValues > 288)
    g.bigValues = 288;
  g.globalGain = (int)br.Read(8);
  g.scalefacCompress = (int)br.Read(mpeg1 ? 4 : 9);
  g.windowSwitching = (int)br.Read(1);
  int region0Count = 0;
  int region1Count = 0;
  if (g.windowSwitching) {
    g.blockType = (int)br.Read(2);
    g.mixedBlock = (int)br.Read(1);
    g.tableSelect[0] = (int)br.Read(5);
    g.tableSelect[1] = (int)br.Read(5);
    g.tableSelect[2] = 0;
    for (int w = 0; w < 3; w++)
      g.subblockGain[w] = (int)br.Read(3);
    // Block type 0 is not allowed with window switching; read it as a normal long block.
    if (g.blockType == 0)
      g.mixedBlock = 0;
    if (g.blockType != 2)
      g.mixedBlock = 0;
  } else {
    g.blockType = 0;
    g.mixedBlock = 0;
    for (int r = 0; r < 3; r++)
      g.tableSelect[r] = (int)br.Read(5);
    g.subblockGain[0] = g.subblockGain[1] = g.subblockGain[2] = 0;
    region0Count = (int)br.Read(4);
    region1Count = (int)br.Read(3);
  }
  SetRegions(g, bands, region0Count, region1Count);
  g.preflag = mpeg1 ? (int)br.Read(1) : 0;  // MPEG-2 derives it from scalefac_compress
  g.scalefacScale = (int)br.Read(1);
  g.count1TableSelect = (int)br.Read(1);
}

}  // namespace

void DecodeSideInformation(const MP3Header& h, const unsigned char* bytes, MP3SideInfo& info)
{
  MP3BitReader br(bytes, h.GetSideInfoLength());
  int channels = h.GetChannels();
  const MP3BandTable& bands = kMP3BandTables[h.GetBandTableIndex()];
  if (h.version == 0) {
    info.mainDataBegin = (int)br.Read(9);
    br.Skip(channels == 2 ? 3 : 5);
    for (int ch = 0; ch < channels; ch++)
      for (int band = 0; band < 4; band++)
        info.scfsi[ch][band] = (int)br.Read(1);
  } else {
    info.mainDataBegin = (int)br.Read(8);
    br.Skip(channels == 2 ? 2 : 1);
    for (int ch = 0; ch < 2; ch++)
      for (int band = 0; band < 4; band++)
        info.scfsi[ch][band] = 0;
  }
  for (int gr = 0; gr < h.GetGranules(); gr++)
    for (int ch = 0; ch < channels; ch++)
      ReadGranule(br, h, bands, info.granule[gr][ch]);
}
