#pragma once

// The 4-byte header of an MPEG audio Layer III frame.
struct MP3Header {
  int version = 0;          // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  int protection = 1;       // 1 when no CRC follows the header
  int bitRate = 0;          // bits per second
  int sampleRateIndex = 0;  // 0 to 2
  int padding = 0;
  int channelMode = 3;    // 3 is mono; 1 is joint stereo
  int modeExtension = 0;  // bit 0 intensity stereo, bit 1 mid/side stereo

  // Accepts the four bytes when they form a Layer III header with a usable bit rate and sample rate;
  // the fields are set only then.
  bool Parse(const unsigned char bytes[4]);

  int GetSampleRate() const;
  int GetFrameLength() const;
  int GetSideInfoLength() const;
  int GetCrcLength() const { return protection ? 0 : 2; }
  // The frame's bytes after header, CRC and side information.
  int GetMainDataLength() const;
  bool IsStereo() const { return channelMode != 3; }
  int GetChannels() const { return IsStereo() ? 2 : 1; }
  int GetGranules() const { return version == 0 ? 2 : 1; }
  int GetSamplesPerFrame() const { return version == 0 ? 1152 : 576; }
  // Bytes per frame without padding: 144 (MPEG-1) or 72 bytes per bit and sample.
  int GetSlotFactor() const { return version == 0 ? 144 : 72; }
  int GetBandTableIndex() const { return version * 3 + sampleRateIndex; }
};

// The length of the prefix of `data` that can be passed on without tearing a frame of a stream cut
// at frame boundaries. From the first byte, a byte that starts a header passes with its frame when
// the frame ends within `size`, and any other byte passes alone. The scan stops at a frame that runs
// past the end, or at a 0xFF among the last three bytes (the start of a header still to come). So
// what is held back is at most one frame, beginning with its header.
int MP3WholeFramesLength(const unsigned char* data, int size);
