#pragma once
// Sound sinks: objects that are written frame by frame, shared through the
// reference-counted handle LSoundSink.
//
// A sink and all handles to it are used by one thread at a time (the
// reference count is not atomic).
#include <cstdint>

#include "audio/soundtime.h"

class LSoundSinkBase {
public:
  // 0 channels become 1 and set the error bit.
  LSoundSinkBase(int rate, unsigned char channels);
  virtual ~LSoundSinkBase() = default;
  LSoundSinkBase(const LSoundSinkBase&) = delete;
  LSoundSinkBase& operator=(const LSoundSinkBase&) = delete;

  // Writes `frames` frames (frames * channels samples); a sink that counts
  // advances the position here.
  virtual int Write(const int* samples, int frames) = 0;
  virtual void Seek(int frame) { (void)frame; }

  bool Error() const { return (flags_ & kFlagError) != 0; }
  void SetError() { flags_ |= kFlagError; }
  int GetSampleRate() const { return rate_; }
  unsigned char GetChannels() const { return channels_; }
  LSoundTime GetPosition() const { return LSoundTime(position_, rate_); }
  void Seek(const LSoundTime& time) { Seek(time.GetSamples(rate_)); }

protected:
  int32_t position_ = 0;  // frames written so far

private:
  friend class LSoundSink;
  static constexpr unsigned char kFlagError = 1;
  int32_t rate_;
  unsigned char channels_;
  unsigned char flags_ = 0;
  uint16_t refs_ = 0;
};

// The sink of an empty or closed handle: 44100 Hz mono, in error, discards
// what is written.
class LSoundSinkError : public LSoundSinkBase {
public:
  LSoundSinkError();
  int Write(const int* samples, int frames) override;
};

// Shared handle to a sink.  Never empty: without a sink it holds an
// LSoundSinkError.
class LSoundSink {
public:
  LSoundSink();
  // Takes a reference to a newly created sink (null counts as none).
  explicit LSoundSink(LSoundSinkBase* sink);
  LSoundSink(const LSoundSink& other);
  LSoundSink& operator=(const LSoundSink& other);
  ~LSoundSink();

  // Drops this handle's reference and holds a fresh error sink.
  void Close();

  int Write(const int* samples, int frames) { return p_->Write(samples, frames); }
  bool Error() const { return p_->Error(); }
  bool operator!() const { return p_->Error(); }
  void Seek(const LSoundTime& time) { p_->Seek(time); }
  LSoundTime GetPosition() const { return p_->GetPosition(); }
  unsigned char GetChannels() const { return p_->GetChannels(); }
  int GetSampleRate() const { return p_->GetSampleRate(); }

  // The object behind the handle (never null).
  LSoundSinkBase* Get() const { return p_; }

private:
  void Attach(LSoundSinkBase* sink);
  void Release();
  LSoundSinkBase* p_;
};
