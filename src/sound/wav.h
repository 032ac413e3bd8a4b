#pragma once
// RIFF/WAVE files of integer PCM with 1 to 16 bits per sample, 1 to 255
// channels and 1 to 196000 Hz.  Everything else is refused: error 3 for a
// damaged or foreign file, 4 when the file cannot be opened, 5 for another
// encoding (formaterrors.h).
#include <cstdint>

#include "audio/soundsource.h"

class LWaveFile {
public:
  // The handle holds the file's source, or an error source with the reason.
  static LSoundSource OpenSource(const char* path);
};

// Turns the size field of a 12-byte header that was not "RIFF" .. "WAVE"
// into the distance to the next header: the size rounded up to even, less
// the 4 bytes of the body already read.  False (and 0) when nothing would be
// left to skip.
bool SkipToNextChunk(uint32_t& size);
