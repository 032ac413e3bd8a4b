#pragma once

#include "audio/mp3header.h"
#include "audio/soundsource.h"
#include "sound/mp3framedecoder.h"
#include "sound/mp3maindata.h"
#include "sound/mp3readfile.h"

// Error codes of the MP3 reader, beside those of every source.
inline constexpr unsigned char kMP3ErrorNoHeader = 3;  // no usable MPEG Layer III header
inline constexpr unsigned char kMP3ErrorOpen = 4;      // the file cannot be opened

// An MPEG audio Layer III file (MPEG-1, MPEG-2 and MPEG-2.5) read as a sound source. The length is
// exact when the first frame carries a VBR frame count ("Xing" or "VBRI"); otherwise it is estimated
// from the file size and the first frames' bit rates and corrected while decoding. Like every
// source, it is used by one thread at a time.
class LMP3Source : public LSoundSourceBase {
public:
  explicit LMP3Source(const char* path);

  // Always fills `frames` frames (silence before frame 0 and past the end); returns how many of them
  // lie before the end, 0 once the position is past it.
  int Read(int* buffer, int frames) override;
  int GetPositionSample() const override { return position_; }
  int GetEndSample() const override { return end_; }
  // Decodes up to 4 frames before the target (discarded) to refill the bit reservoir and the
  // filter state, so that reading on matches a read from the start.
  void Seek(int frame) override;

private:
  bool DecodeInitialHeader();
  bool ReadVbrHeader(long long frameStart);
  bool DecodeHeader();
  long long FindFrameStart(long long from);
  bool DecodeFrame(int* out, bool preroll = false);
  long long FramesLeft() const;
  void RefreshEnd();
  void StreamEnded();

  static constexpr int kPrerollFrames = 4;
  static constexpr int kSeekSlack = 8;
  static constexpr int kHeaderTries = 11;

  int position_ = 0;
  int end_ = 0;
  unsigned char stereo_ = 0;
  int vbrFrames_ = 0;
  MP3ReadFile file_;
  MP3FrameDecoder decoder_;  // bit reservoir, IMDCT overlap, synthesis state, reorder tables
  MP3Header firstHeader_;
  MP3Header header_;
  double bytesPerFrame_ = 0.0;
  int decoded_[1152 * 2];
  int samplesPerFrame_ = 1152;
  int readIndex_ = 1152;
  long long dataStart_ = 0;   // offset of the first audio frame
  long long decodedEnd_ = 0;  // stream frame index just after the last decoded MP3 frame
  unsigned char side_[32 + 4];
  unsigned char main_[MP3MainData::kSize];
};

class LMP3File {
public:
  static LSoundSource OpenSource(const char* path);
};
