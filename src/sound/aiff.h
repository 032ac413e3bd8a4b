#pragma once
// AIFF files (not AIFF-C) of 1 to 16 bits per sample, big-endian.  Errors:
// 3 damaged or foreign, 4 cannot be opened, 5 more than 16 bits.
#include <cstdint>

#include "audio/soundsource.h"

class LAifFile {
public:
  static LSoundSource OpenSource(const char* path);
};

// The sample rate of an 80-bit IEEE extended value: the top 32 bits of the
// mantissa shifted down to the exponent and rounded.  0 for exponents
// outside 2^1 .. 2^31 (0x4000 .. 0x401E), negative values included: no
// such rate is usable.
uint32_t LAifExtendedToRate(const unsigned char* extended);
