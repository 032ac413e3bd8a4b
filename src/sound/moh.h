#pragma once
// MOH files: a header, then segments of compressed audio, each decoded into
// a temporary file "<n>.aud" (16-bit mono at 11025 Hz) and read back as one
// concatenated source.
#include "audio/soundsource.h"

class LMOHSource {
public:
  static constexpr int kRate = 11025;
  // Segments beyond this many end the list: every segment keeps a file open
  // while the source lives, and a damaged file could describe thousands.
  static constexpr int kMaxSegments = 256;

  // Decodes into `tempFolder` (the system temporary folder when null or
  // empty); the ".aud" files stay there.  Error 4 when the file cannot be
  // opened, 3 when its header is cut short or no segment follows it.
  static LSoundSource OpenSource(const char* path, const char* tempFolder = nullptr);
};
