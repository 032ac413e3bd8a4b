#pragma once
// Low-level ALSA capture: opens card "hw:<n>" for blocking capture of
// signed 16-bit interleaved frames and reads it in blocks of 100 ms,
// converted to the internal sample scale.  One object per capture run,
// used only by its capture thread.
#include <alsa/asoundlib.h>
#include <memory>

#include "audio/soundbase.h"
#include "audio/soundrecorddevice.h"
#include "audio/soundsink.h"
#include "base/thread.h"

// Receives the message for a card that cannot be opened ("Velorin could
// not open ...").  Called on the capture thread: it must not block (the
// desktop hands the text to its GUI thread; the default writes it to the
// log).  Set once at start-up.
using LSoundOpenFailureReporter = void (*)(const char* message);
void LSetSoundOpenFailureReporter(LSoundOpenFailureReporter reporter);

// Owns one snd_pcm_t.
class LAlsaPcm {
public:
  LAlsaPcm() = default;
  ~LAlsaPcm() { Close(); }
  LAlsaPcm(const LAlsaPcm&) = delete;
  LAlsaPcm& operator=(const LAlsaPcm&) = delete;

  int OpenCapture(const char* device);
  void Close();
  snd_pcm_t* Get() const { return pcm_; }

private:
  snd_pcm_t* pcm_ = nullptr;
};

class LSoundRecLLALSA {
public:
  // Block length limits in frames.
  static constexpr int kMinBlockFrames = 32;
  static constexpr int kMaxBlockFrames = 8192;
  // Longest pause between two reads of a card whose reads keep failing.
  static constexpr unsigned int kMaxRetryDelayMs = 100;

  LSoundRecLLALSA() = default;
  ~LSoundRecLLALSA() { Close(); }
  LSoundRecLLALSA(const LSoundRecLLALSA&) = delete;
  LSoundRecLLALSA& operator=(const LSoundRecLLALSA&) = delete;

  // Opens the device for the sink's rate and channel count.  A card that
  // cannot be opened is reported (LSetSoundOpenFailureReporter); a refused
  // hardware setting closes the card silently.  A card that grants another
  // channel count is refused (its frames would not fit the block).
  bool Open(const LSoundRecordDevice& device, const LSoundSink& format);
  // Reads one whole block into `block` (GetBufferSamplesChans() samples).
  // Overruns are recovered at once; other failures are retried after a
  // pause that grows to kMaxRetryDelayMs, so an unplugged card does not
  // spin.  False when the thread is asked to stop.
  bool WaitForDataAndRead(LThread& thread, int* block);
  int GetBufferSamples() const { return blockFrames_; }
  int GetBufferSamplesChans() const { return blockSamples_; }
  // Nothing is held back between reads.
  int FlushData(int* block)
  {
    (void)block;
    return 0;
  }
  void Start() {}
  void Stop() {}
  void Close();

private:
  bool SetHardwareParameters(const char* name, unsigned int rate, unsigned int channels);

  LAlsaPcm pcm_;
  std::unique_ptr<LSF16[]> buffer_;
  int blockFrames_ = 0;
  int blockSamples_ = 0;
};
