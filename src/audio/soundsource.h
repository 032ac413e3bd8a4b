#pragma once
// Sound sources: objects that are read frame by frame, shared through the
// reference-counted handle LSoundSource.
//
// A source and all handles to it are used by one thread at a time (the
// reference count is not atomic); a source may be handed to another thread
// as a whole.
#include <cstdint>

#include "audio/soundtime.h"

// Error codes of a source (GetErrorCode); readers add their own above these.
inline constexpr unsigned char kSourceErrorNone = 0;
inline constexpr unsigned char kSourceErrorNoSource = 1;
inline constexpr unsigned char kSourceErrorInput = 2;
inline constexpr unsigned char kSourceErrorFormat = 3;

class LSoundSourceBase {
public:
  // A rate below 1 becomes 44100 and 0 channels become 1, each with error 3.
  LSoundSourceBase(int rate, unsigned char channels, int peak);
  virtual ~LSoundSourceBase() = default;
  LSoundSourceBase(const LSoundSourceBase&) = delete;
  LSoundSourceBase& operator=(const LSoundSourceBase&) = delete;

  // Reads up to `frames` frames (frames * channels samples) into samples;
  // returns the frames delivered, 0 at the end.
  virtual int Read(int* samples, int frames) = 0;
  // Frame index of the next Read.
  virtual int GetPositionSample() const = 0;
  // Total length in frames.
  virtual int GetEndSample() const = 0;
  virtual void Seek(int frame) { (void)frame; }

  void SetSampleRate(int rate);
  void SetChannels(unsigned char channels);
  void SetPeak(int peak) { peak_ = peak; }
  int GetPeak() const { return peak_; }
  int GetSampleRate() const { return rate_; }
  unsigned char GetChannels() const { return channels_; }
  bool Error() const { return error_ != kSourceErrorNone; }
  unsigned char GetErrorCode() const { return error_; }
  void SetError(unsigned char code) { error_ = code; }

private:
  friend class LSoundSource;
  int32_t rate_;
  int32_t peak_;  // largest internal sample value the source can produce
  unsigned char channels_;
  unsigned char error_;
  uint16_t refs_ = 0;
};

// The source of an empty or closed handle: 11025 Hz mono, always in error,
// delivers nothing.
class LSoundSourceError : public LSoundSourceBase {
public:
  explicit LSoundSourceError(unsigned char code);
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override { return 0; }
  int GetEndSample() const override { return 0; }
};

// Shared handle to a source.  Never empty: without a source it holds an
// LSoundSourceError(1), so every call is safe and reports the error.
class LSoundSource {
public:
  LSoundSource();
  // Takes a reference to a newly created source (null counts as none).
  explicit LSoundSource(LSoundSourceBase* source);
  LSoundSource(const LSoundSource& other);
  LSoundSource& operator=(const LSoundSource& other);
  ~LSoundSource();

  // Drops this handle's reference and holds a fresh error source.
  void Close();

  int Read(int* samples, int frames) { return p_->Read(samples, frames); }
  int GetPositionSample() const { return p_->GetPositionSample(); }
  int GetEndSample() const { return p_->GetEndSample(); }
  void Seek(int frame) { p_->Seek(frame); }
  int GetSampleRate() const { return p_->GetSampleRate(); }
  unsigned char GetChannels() const { return p_->GetChannels(); }
  int GetPeak() const { return p_->GetPeak(); }
  bool Error() const { return p_->Error(); }
  unsigned char GetErrorCode() const { return p_->GetErrorCode(); }
  bool IsOpen() const { return !p_->Error(); }
  explicit operator bool() const { return !p_->Error(); }
  LSoundTime GetEnd() const { return LSoundTime(p_->GetEndSample(), p_->GetSampleRate()); }

  // The object behind the handle (never null); for identity checks and for
  // wrappers that need the concrete source.
  LSoundSourceBase* Get() const { return p_; }

private:
  void Attach(LSoundSourceBase* source);
  void Release();
  LSoundSourceBase* p_;
};

// A source that processes one input: starts with the input's rate, channels
// and peak, keeps a handle to it, and carries error 2 when the input is in
// error.  Position, length and seeking pass through to the input unless a
// subclass overrides them.
class LSoundProcessBase : public LSoundSourceBase {
public:
  explicit LSoundProcessBase(const LSoundSource& input);

  int GetPositionSample() const override { return input_.GetPositionSample(); }
  int GetEndSample() const override { return input_.GetEndSample(); }
  void Seek(int frame) override { input_.Seek(frame); }

  // The wrapped source, for walking a chain of processes.
  const LSoundSource& GetInput() const { return input_; }

protected:
  LSoundSource input_;
};
