#pragma once
// A sink that writes a 16-bit PCM WAV file.  The header's sizes are
// written when the sink is finished (Finish, or its destruction), so a
// file whose sink was never finished is not a valid WAV.  Used by one
// thread at a time.
#include <cstdint>
#include <vector>

#include "audio/soundbase.h"
#include "audio/soundsink.h"
#include "base/fileclasses.h"

class LWaveFileSink : public LSoundSinkBase {
public:
  // The sink is in error when the file cannot be created.
  LWaveFileSink(const char* path, int sampleRate, unsigned char channels);
  ~LWaveFileSink() override;

  // Returns frames written, or -1 (the sink is then in error) when the
  // disk refuses the data or the file would pass the format's 4 GB limit.
  int Write(const int* samples, int frames) override;
  // Writes the final header sizes and closes the file; false on failure.
  bool Finish();

private:
  bool WriteHeader(uint32_t dataBytes);

  LWriteFile file_;
  uint64_t dataBytes_ = 0;
  std::vector<LSF16> buffer_;
  bool finished_ = false;
};
