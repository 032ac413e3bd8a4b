#pragma once
#include <cstdint>
#include <vector>

#include "base/uniquefd.h"
#include "lyrenc/encoderoptions.h"
#include "lyrenc/lameencoder.h"

// One encoding from input to output as the options say.  Each read of the
// input is encoded at once and everything it yields leaves in one write,
// so that a live stream gets its frames as soon as the PCM arrives; at end
// of input the encoder is flushed.
class LEncodeRun {
public:
  explicit LEncodeRun(const LEncoderOptions& options) : options_(options) {}
  ~LEncodeRun();
  LEncodeRun(const LEncodeRun&) = delete;
  LEncodeRun& operator=(const LEncodeRun&) = delete;

  // Returns the exit status: 0 done, 1 failed (a regular output file
  // that was begun is removed).
  int Run();

private:
  bool OpenInput();
  bool OpenOutput();
  bool Configure();
  bool EncodeInput();
  bool Finish();
  bool WriteOutput(const unsigned char* data, size_t size);
  void ConvertSamples(const unsigned char* bytes, size_t count);

  const LEncoderOptions& options_;
  LUniqueFD ownedInput_;
  LUniqueFD ownedOutput_;
  int input_ = 0;
  int output_ = 1;
  bool outputIsNamedFile_ = false;
  LLameEncoder lame_;
  std::vector<unsigned char> inputBytes_;
  std::vector<int16_t> samples_;
  std::vector<unsigned char> mp3_;
};
