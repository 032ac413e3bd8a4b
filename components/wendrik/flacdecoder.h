#pragma once
#include <cstdint>

#include "common/wavwriter.h"

// Decodes a FLAC file, native or in an Ogg container, into wav.  Damaged
// frames, an MD5 signature that does not match and a stream shorter than
// its header says all count as failure rather than as gaps in the output.
bool DecodeFlacFile(const char* input, LWavWriter& wav);

// One sample of the given bit depth (4 to 32) as 16 bits: deeper samples
// are rounded to nearest (halves upward) and clipped at full scale, which
// only the top half step of a deep sample can reach; shallower samples are
// shifted up so that full scale stays full scale.
int16_t ScaleSampleTo16(int32_t sample, unsigned bits);
