#pragma once
// Headerless GSM 06.10 files: 33-byte frames of 160 samples, 8000 Hz mono.
#include "audio/soundsource.h"
#include "base/uniquefd.h"
#include "sound/gsmdecoder.h"

class LGSMFile {
public:
  // Error 4 when the file cannot be opened; any content is accepted.
  static LSoundSource OpenSource(const char* path);
};

class LGSMFileSource : public LSoundSourceBase {
public:
  // Takes over the open file (error 4 when it is not open).
  explicit LGSMFileSource(int fd);

  // Fills `frames` samples, silence outside the whole frames of the file;
  // returns how many lie before the end.
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override { return position_; }
  int GetEndSample() const override { return end_; }
  // Restarts the decoder at the frame that holds `frame`, so the samples
  // after a seek are those of a decoder started at that frame.
  void Seek(int frame) override;

private:
  // Decodes the next frame of the file into frame_; a frame cut short by
  // the end of the file is silence.
  void DecodeNextFrame();

  LGSMDecoder decoder_;
  LUniqueFD fd_;
  int frame_[LGSMDecoder::kFrameSamples];
  int readIndex_ = LGSMDecoder::kFrameSamples;
  int position_ = 0;
  int end_ = 0;
};
