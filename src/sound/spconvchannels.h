#pragma once
// Channel-count converters.  Stereo to mono keeps the left channel (the
// right one is dropped, not mixed in); mono to stereo doubles the channel.
// Any other pair of counts maps output channel c to input channel
// c mod (input channels): the first channels of a wider source survive and
// a narrower source is repeated across the outputs.
#include <vector>

#include "sound/soundprocess.h"

class LSRCConvChannels : public LSoundProcessBase {
public:
  static constexpr int kBlockFrames = 8192;
  LSRCConvChannels(const LSoundSource& input, unsigned char channels);
  int Read(int* samples, int frames) override;

protected:
  // Reads up to `frames` (at most kBlockFrames) input frames into buffer_.
  int ReadInput(int frames);
  unsigned char inChannels_;
  std::vector<int> buffer_;
};

class LSRCConvStereoMono : public LSRCConvChannels {
public:
  explicit LSRCConvStereoMono(const LSoundSource& input) : LSRCConvChannels(input, 1) {}
  int Read(int* samples, int frames) override;
};

class LSRCConvMonoStereo : public LSRCConvChannels {
public:
  explicit LSRCConvMonoStereo(const LSoundSource& input) : LSRCConvChannels(input, 2) {}
  int Read(int* samples, int frames) override;
};

class LSPConvChannels : public LSoundProcess {
public:
  explicit LSPConvChannels(unsigned char channels) : channels_(channels) {}
  LSoundSource OpenSource(LSoundSource& input) override;

private:
  unsigned char channels_;
};
