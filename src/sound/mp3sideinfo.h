#pragma once

struct MP3Header;

// Side information of one granule of one channel.
struct MP3GranuleInfo {
  int part23Length;  // bits of scale factors and Huffman data
  int bigValues;     // pairs in the big-values region, at most 288
  int globalGain;
  int scalefacCompress;
  int windowSwitching;
  int blockType;  // 0 normal, 1 start, 2 short, 3 stop
  int mixedBlock;
  int tableSelect[3];
  int subblockGain[3];
  int region1Start;  // first spectral line of region 1 (derived from region0_count)
  int region2Start;  // first spectral line of region 2 (derived from region1_count)
  int preflag;
  int scalefacScale;
  int count1TableSelect;

  bool IsShort() const { return windowSwitching && blockType == 2; }
};

struct MP3SideInfo {
  int mainDataBegin;
  int scfsi[2][4];               // MPEG-1 only: scale factors of granule 0 reused in granule 1
  MP3GranuleInfo granule[2][2];  // [granule][channel]
};

// Parses the side information that follows the header: GetSideInfoLength() bytes, followed by at
// least 4 readable bytes (the bit reader loads whole words). Values the stream
// cannot mean (big_values beyond 288, a window switch to block type 0) are brought into range, so the
// later stages never index outside their tables.
void DecodeSideInformation(const MP3Header& header, const unsigned char* bytes, MP3SideInfo& info);
