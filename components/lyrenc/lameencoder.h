#pragma once
#include <cstddef>
#include <cstdint>

#include "lyrenc/encoderoptions.h"

struct lame_global_struct;

// Owns one libmp3lame encoder.
class LLameEncoder {
public:
  LLameEncoder();
  ~LLameEncoder();
  LLameEncoder(const LLameEncoder&) = delete;
  LLameEncoder& operator=(const LLameEncoder&) = delete;

  // Sets the encoder up for options at outputRate (Hz) with bit rates low
  // to high (the standard rates chosen from the options).  infoTag keeps
  // the leading frame that Finish fills with length and delay data, for
  // seekable output only.  False (reported) when libmp3lame refuses.
  bool Configure(const LEncoderOptions& options, int outputRate, int low, int high, bool infoTag);

  // Encodes frames of interleaved samples (options.InputChannels() per
  // frame) into mp3, which must hold MaxBytesFor(frames) bytes.  Returns the
  // number of MP3 bytes produced, negative on error.
  int Encode(const int16_t* samples, int frames, unsigned char* mp3, size_t capacity);
  // Encodes what libmp3lame still holds, padding the last frame.
  int Flush(unsigned char* mp3, size_t capacity);
  // The final contents of the leading info frame; 0 when there is none.
  size_t InfoFrame(unsigned char* buffer, size_t capacity);

  // Room that Encode or Flush may need for frames of input; valid once
  // configured.
  size_t MaxBytesFor(int frames) const;

private:
  lame_global_struct* lame_;
  int inputChannels_ = 2;
  int upsampling_ = 1;  // output rate over input rate, rounded up
};
