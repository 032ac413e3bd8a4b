#pragma once
#include "audio/soundsource.h"

// A factory for a source that wraps another: OpenSource returns the wrapping
// source, or the input itself when there is nothing to do.
class LSoundProcess {
public:
  virtual ~LSoundProcess() = default;
  virtual LSoundSource OpenSource(LSoundSource& input) = 0;
};
