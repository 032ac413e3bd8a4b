#pragma once
#include <memory>

#include "audio/soundbase.h"
#include "audio/soundsink.h"
#include "base/pipe.h"

// A sink that converts what is written to signed 16-bit PCM and pipes it to
// a shell command's standard input (the MP3 encoder writing a file).
// Destroying the sink closes the command's input and waits until the
// command has exited, so its output file is complete afterwards.
// Used by one thread at a time.
class LPipe16Sink : public LSoundSinkBase {
public:
  // Frames converted per pipe write.
  static constexpr int kMaxFramesPerWrite = 8192;

  // The sink is in error when the command could not be started.
  LPipe16Sink(const char* command, int sampleRate, unsigned char channels);
  ~LPipe16Sink() override;

  // Advances the position by frames and writes them; longer calls are cut
  // into writes of kMaxFramesPerWrite frames.  Returns the bytes written,
  // or -1 when the command no longer takes input (the sink is then in
  // error: the encode is incomplete).
  int Write(const int* samples, int frames) override;
  // Raw bytes to the command.  Returns the bytes written or -1.
  int Write(const void* bytes, int size);

private:
  std::unique_ptr<LSF16[]> buffer_;  // channels x 8192 samples
  LPipeOut pipe_;
};
