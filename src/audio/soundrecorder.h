#pragma once
// The recorder: captures a sound card on its own thread and writes the
// blocks to a sink, with level metering and a level trigger.
//
// While waiting (state 1) a block whose level reaches the trigger starts
// recording (state 2), preceded by the second half of the previous block
// when the level rose in the first half.  While recording, a stretch
// quieter than the release level (trigger - 4 dB) that lasts longer than the
// silence time cuts the sink back to 0.45 s after the last loud block and
// waits again.  A maximum length ends recording through the GUI thread.
// Live sources use trigger Off, no maximum and 60 hours of silence time, so
// every block is written.
//
// Threads: Start, Stop, SetDevice and SetNotify on the controlling thread
// (engine control or GUI); the capture loop on the recorder's own thread;
// EvNotify on the GUI main loop.  Reports to the GUI are coalesced (at most
// one notification waits at a time) and posted only while a receiver other
// than the recorder itself is attached or a stop is requested, so a process
// without a main loop (the service) accumulates nothing.
#include <atomic>

#include "audio/soundrecllalsa.h"
#include "audio/soundrecorddevice.h"
#include "audio/soundrecordernotify.h"
#include "audio/soundsink.h"
#include "base/lockobject.h"
#include "base/queuednotify.h"
#include "base/signalobject.h"
#include "base/thread.h"

template <class LL>
class LSoundRecorderTemplate : private LThread, public LThreadQueuedNotify, public LSoundRecorderNotify {
public:
  enum : int { kStateStopped = 0, kStateWaiting = 1, kStateRecording = 2 };
  // Start flags.
  static constexpr unsigned short kFlagWaitForGo = 1;       // hold the thread until Go()
  static constexpr unsigned short kFlagStartRecording = 2;  // skip the trigger
  // Time Start waits for the capture thread to open the card.
  static constexpr unsigned int kStartWaitMs = 1500;

  LSoundRecorderTemplate() = default;
  ~LSoundRecorderTemplate() override;

  // Controlling thread; takes effect at the next Start.
  void SetDevice(const LSoundRecordDevice& device) { device_ = device; }
  const LSoundRecordDevice& GetDevice() const { return device_; }
  // Controlling thread.  null restores the default (silent) receiver.
  void SetNotify(LSoundRecorderNotify* receiver, int id);

  // Controlling thread.  Starts capture into sink (which takes the rate and
  // channel count).  False when the sink is in error or the card could not
  // be opened within kStartWaitMs (the sink is then closed).
  bool Start(LSoundSink& sink, LSoundTime maxLength, LDB trigger, LSoundTime silence, unsigned short flags);
  // Controlling thread.  Joins the capture thread (no sink write follows),
  // trims trailing silence and closes the sink.  Safe in any state.
  void Stop();
  // Any thread: lets a thread started with kFlagWaitForGo run.
  void Go() { go_.Signal(); }

  // Any thread.
  int GetState() const { return state_.load(std::memory_order_acquire); }
  LSoundTime GetLastLoudTime() const { return LSoundTime(lastLoud_.load(std::memory_order_relaxed)); }
  // Copy of the latest levels (any thread; takes the levels lock).
  LDBMC GetLevels() const;

protected:
  void ThreadFunction() override;
  // GUI main loop.
  void EvNotify() override;

private:
  LSoundRecorderNotify* Receiver() const { return receiver_.load(std::memory_order_acquire); }
  void PostReport();
  // Capture thread: measures the block into levels and returns the mono level.
  LDB Measure(const int* block, int frames, LDBMC& levels);
  void PublishLevels(const LDBMC& levels);

  LSoundRecordDevice device_;
  std::atomic<LSoundRecorderNotify*> receiver_{this};
  std::atomic<int> id_{0};
  std::atomic<int> state_{kStateStopped};
  LSoundSink sink_;
  std::atomic<int> lastLoud_{0};  // ms, sink position of the last loud block
  LSignalObject started_;
  LSignalObject go_;
  mutable LLockObject levelsLock_;
  LDBMC levels_;
  // Set by Start before the thread runs; read by the thread.
  LSoundTime maxLength_;
  LDB trigger_ = LDB::Off();
  LDB release_ = LDB::Off();
  LSoundTime silence_;
  // Set by the capture thread, consumed by EvNotify.
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> levelsChanged_{false};
  std::atomic<bool> stateChanged_{false};
  std::atomic<bool> reportPending_{false};
};

class LSoundRecorder : public LSoundRecorderTemplate<LSoundRecLLALSA> {};
