#pragma once
// Sun AU files in 8-bit µ-law, 8-bit signed PCM, 16-bit PCM or 8-bit A-law.
// Errors: 3 damaged or foreign, 4 cannot be opened, 5 another encoding.
#include "audio/soundsource.h"

class LAuFile {
public:
  static LSoundSource OpenSource(const char* path);
};
