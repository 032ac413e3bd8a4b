#pragma once
// One live input: its recorder and its two encoder queues (dial-up and
// broadband).  The capture thread writes every block to both queues,
// dial-up first; listeners pick a queue by bit rate.  A source with an
// Icecast address (Live/Publish<n>URL) also publishes one of its queues
// there (Live/Publish<n>KBPS).
#include "audio/audiopublisher.h"
#include "audio/audioqueue.h"
#include "audio/soundrecorder.h"
#include "audio/soundsink.h"

class LAudioStreamingSource {
public:
  LAudioStreamingSource() = default;
  // Stops the recorder, then the queues.
  ~LAudioStreamingSource() { Stop(); }

  LAudioStreamingSource(const LAudioStreamingSource&) = delete;
  LAudioStreamingSource& operator=(const LAudioStreamingSource&) = delete;

  // Engine control thread.  Starts both queues at the configured rates and
  // the capture of the device configured for source index + 1.  A source
  // already running is stopped first.  Failures are reported underneath
  // (an unopened card is logged; a missing encoder is silent).
  void Start(unsigned int index);
  // Engine control thread.  Recorder first (no Write follows), then the
  // broadband and the dial-up queue.  Safe when not running.
  void Stop();
  // Ends the streams of both queues' parked listeners (the web server's
  // stop).
  void EndListenerStreams();

  // Capture thread.  The same block to the dial-up, then the broadband
  // queue; returns the broadband queue's result.
  int Write(const int* samples, int frames);

  // Any thread, no lock: the dial-up queue for rates below the broadband
  // queue's rate, else the broadband queue.  The pointer stays valid for
  // the source's lifetime.
  LAudioQueue* GetAudioQueue(int kbps);

  // Engine control thread (and tests).
  LSoundRecorder& GetRecorder() { return recorder_; }

private:
  LSoundRecorder recorder_;
  LAudioQueue dialUp_;
  LAudioQueue broadBand_;
  // Last: it reads a queue's ring, so it goes first.
  LAudioPublisher publisher_;
};

// The sink a source's recorder writes to: 44100 Hz stereo, passed on to
// the source.  Created at every start; the recorder's handle frees it.
// Write runs on the capture thread.
class LStreamingSink : public LSoundSinkBase {
public:
  static constexpr int kRate = 44100;
  static constexpr unsigned char kChannels = 2;

  explicit LStreamingSink(LAudioStreamingSource* source) : LSoundSinkBase(kRate, kChannels), source_(source) {}

  int Write(const int* samples, int frames) override { return source_->Write(samples, frames); }

private:
  LAudioStreamingSource* source_;
};
