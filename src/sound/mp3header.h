#pragma once

class MP3ReadFile;

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

  // Searches the file for the next header from its current offset: drops one byte at a time, at most
  // kMaxSearchBytes bytes beyond the first four. On success the file stands after the header and its
  // CRC word (which is not checked).
  bool ReadHeader(MP3ReadFile& file);

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

  static constexpr int kMaxSearchBytes = 65535;
};
