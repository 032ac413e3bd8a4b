#include "audio/soundrecorder.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Where a recording resumes after silence: this long after the last loud
// block, so the end of a sound's decay is kept.
const LSoundTime kSilenceTail(0.45);
// Kept after the last loud block when recording stops.
const LSoundTime kStopTail(0.05);
constexpr int kReleaseBelowTriggerDb = 4;

}  // namespace

template <class LL>
LSoundRecorderTemplate<LL>::~LSoundRecorderTemplate()
{
  Stop();
}

template <class LL>
void LSoundRecorderTemplate<LL>::SetNotify(LSoundRecorderNotify* receiver, int id)
{
  id_.store(id, std::memory_order_relaxed);
  receiver_.store(receiver != nullptr ? receiver : this, std::memory_order_release);
}

template <class LL>
LDBMC LSoundRecorderTemplate<LL>::GetLevels() const
{
  LLockScope scope(levelsLock_);
  return levels_;
}

template <class LL>
bool LSoundRecorderTemplate<LL>::Start(LSoundSink& sink, LSoundTime maxLength, LDB trigger, LSoundTime silence,
                                       unsigned short flags)
{
  if (GetState() != kStateStopped || IsRunning())
    Stop();
  if (sink.Error())
    return false;
  sink_ = sink;
  {
    LLockScope scope(levelsLock_);
    levels_.SetChannels(sink_.GetChannels());
    for (int c = 0; c < sink_.GetChannels(); ++c)
      levels_[static_cast<unsigned char>(c)] = LDB::Off();
  }
  maxLength_ = maxLength;
  trigger_ = trigger;
  release_ = trigger - LDB(kReleaseBelowTriggerDb);
  silence_ = silence;
  lastLoud_.store(sink_.GetPosition().GetMs(), std::memory_order_relaxed);
  stopRequested_.store(false);
  levelsChanged_.store(false);
  stateChanged_.store(false);
  const bool recording = (flags & kFlagStartRecording) != 0;
  state_.store(recording ? kStateRecording : kStateWaiting, std::memory_order_release);
  started_.Reset();
  if ((flags & kFlagWaitForGo) != 0)
    go_.Reset();
  else
    go_.Signal();
  StartSame();
  started_.WaitSignal(kStartWaitMs);

  if (GetState() != kStateStopped) {
    LSoundRecorderNotify* receiver = Receiver();
    const int id = id_.load(std::memory_order_relaxed);
    if (recording)
      receiver->srntfRecord(id);
    else
      receiver->srntfWait(id);
    receiver->srntfTime(GetLastLoudTime(), id);
    return true;
  }
  StopThreadNow();
  sink_.Close();
  return false;
}

template <class LL>
void LSoundRecorderTemplate<LL>::Stop()
{
  StopThreadNow();
  const int state = state_.exchange(kStateStopped, std::memory_order_acq_rel);
  if (state != kStateStopped) {
    const LSoundTime keep = GetLastLoudTime() + kStopTail;
    if (sink_.GetPosition() > keep)
      sink_.Seek(keep);
  }
  if (!sink_.Error())
    sink_.Close();
  lastLoud_.store(0, std::memory_order_relaxed);
  if (state != kStateStopped)
    Receiver()->srntfStop(id_.load(std::memory_order_relaxed));
}

template <class LL>
LDB LSoundRecorderTemplate<LL>::Measure(const int* block, int frames, LDBMC& levels)
{
  const unsigned char channels = levels.GetChannels();
  for (unsigned char c = 0; c < channels; ++c)
    levels[c] = GetBufferPeakDBChan(c, block, frames, channels);
  return levels.GetMonoDB();
}

template <class LL>
void LSoundRecorderTemplate<LL>::PublishLevels(const LDBMC& levels)
{
  LLockScope scope(levelsLock_);
  levels_ = levels;
}

template <class LL>
void LSoundRecorderTemplate<LL>::PostReport()
{
  if (Receiver() == this && !stopRequested_.load())
    return;
  if (!reportPending_.exchange(true))
    PostQueueNotify();
}

template <class LL>
void LSoundRecorderTemplate<LL>::ThreadFunction()
{
  LL capture;
  if (!capture.Open(device_, sink_)) {
    state_.store(kStateStopped, std::memory_order_release);
    started_.Signal();
    return;
  }
  const int frames = capture.GetBufferSamples();
  const int samples = capture.GetBufferSamplesChans();
  const unsigned char channels = sink_.GetChannels();
  std::unique_ptr<int[]> current(new (std::nothrow) int[static_cast<size_t>(samples)]);
  std::unique_ptr<int[]> previous(new (std::nothrow) int[static_cast<size_t>(samples)]);
  if (current == nullptr || previous == nullptr) {
    state_.store(kStateStopped, std::memory_order_release);
    started_.Signal();
    return;
  }
  ClearAudioBuffer(previous.get(), samples);
  bool previousValid = false;
  LDBMC levels;
  levels.SetChannels(channels);
  started_.Signal();

  if (ProcessWaitSignalForever(go_.GetRef()) != kProcessDone)
    return;
  SetPriorityHigh();
  capture.Start();

  while (capture.WaitForDataAndRead(*this, current.get())) {
    LDB mono = Measure(current.get(), frames, levels);
    const int state = GetState();
    if (state == kStateWaiting) {
      if (mono >= trigger_) {
        if (IsToStop())
          break;
        const int half = frames / 2;
        // Did the sound begin in the first half?  Then the end of the
        // previous block belongs to it.
        if (Measure(current.get(), half, levels) >= trigger_ && previousValid)
          sink_.Write(previous.get() + static_cast<size_t>(half) * channels, frames - half);
        sink_.Write(current.get(), frames);
        state_.store(kStateRecording, std::memory_order_release);
        stateChanged_.store(true);
      } else {
        std::memcpy(previous.get(), current.get(), static_cast<size_t>(samples) * sizeof(int));
        previousValid = true;
      }
    } else if (state == kStateRecording) {
      sink_.Write(current.get(), frames);
      const LSoundTime position = sink_.GetPosition();
      if (mono >= release_) {
        lastLoud_.store(position.GetMs(), std::memory_order_relaxed);
      } else if (position - GetLastLoudTime() > silence_) {
        sink_.Seek(GetLastLoudTime() + kSilenceTail);
        state_.store(kStateWaiting, std::memory_order_release);
        std::memcpy(previous.get(), current.get(), static_cast<size_t>(samples) * sizeof(int));
        previousValid = true;
        stateChanged_.store(true);
      }
      if (maxLength_.GetMs() > 0 && position > maxLength_)
        stopRequested_.store(true);
    }
    PublishLevels(levels);
    levelsChanged_.store(true);
    PostReport();
  }

  capture.Stop();
  if (GetState() == kStateRecording) {
    int flushed;
    while ((flushed = capture.FlushData(current.get())) > 0)
      sink_.Write(current.get(), flushed);
  }
  stopRequested_.store(false);
  levelsChanged_.store(false);
  stateChanged_.store(false);
}

template <class LL>
void LSoundRecorderTemplate<LL>::EvNotify()
{
  // Cleared first: whatever the capture thread changes from here on posts
  // a new report.
  reportPending_.store(false);
  if (stopRequested_.exchange(false)) {
    Stop();
    return;
  }
  LSoundRecorderNotify* receiver = Receiver();
  const int id = id_.load(std::memory_order_relaxed);
  if (levelsChanged_.exchange(false)) {
    receiver->srntfTime(GetLastLoudTime(), id);
    receiver->srntfLevel(GetLevels(), id);
  }
  if (stateChanged_.exchange(false)) {
    if (GetState() == kStateWaiting)
      receiver->srntfWait(id);
    else
      receiver->srntfRecord(id);
  }
}

template class LSoundRecorderTemplate<LSoundRecLLALSA>;
