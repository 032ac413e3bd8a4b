#include "audio/soundsource.h"

#include "audio/soundbase.h"

LSoundSourceBase::LSoundSourceBase(int rate, unsigned char channels, int peak)
    : rate_(44100), peak_(peak), channels_(1), error_(kSourceErrorNone)
{
  SetSampleRate(rate);
  SetChannels(channels);
}

void LSoundSourceBase::SetSampleRate(int rate)
{
  if (rate < 1) {
    rate = 44100;
    error_ = kSourceErrorFormat;
  }
  rate_ = rate;
}

void LSoundSourceBase::SetChannels(unsigned char channels)
{
  if (channels == 0) {
    channels = 1;
    error_ = kSourceErrorFormat;
  }
  channels_ = channels;
}

LSoundSourceError::LSoundSourceError(unsigned char code) : LSoundSourceBase(11025, 1, 2097152)
{
  SetError(code);
}

int LSoundSourceError::Read(int* samples, int frames)
{
  ClearAudioBuffer(samples, frames);
  return 0;
}

LSoundSource::LSoundSource() : p_(nullptr)
{
  Attach(new LSoundSourceError(kSourceErrorNoSource));
}

LSoundSource::LSoundSource(LSoundSourceBase* source) : p_(nullptr)
{
  Attach(source ? source : new LSoundSourceError(kSourceErrorNoSource));
}

LSoundSource::LSoundSource(const LSoundSource& other) : p_(nullptr)
{
  Attach(other.p_);
}

LSoundSource& LSoundSource::operator=(const LSoundSource& other)
{
  // Reference the new object before releasing the old one, so that
  // assigning a handle to itself (or to another handle of the same object)
  // never deletes the object.
  LSoundSourceBase* old = p_;
  ++other.p_->refs_;
  p_ = other.p_;
  if (--old->refs_ == 0) {
    delete old;
  }
  return *this;
}

LSoundSource::~LSoundSource()
{
  Release();
}

void LSoundSource::Close()
{
  Release();
  p_ = nullptr;
  Attach(new LSoundSourceError(kSourceErrorNoSource));
}

void LSoundSource::Attach(LSoundSourceBase* source)
{
  p_ = source;
  ++p_->refs_;
}

void LSoundSource::Release()
{
  if (p_ && --p_->refs_ == 0) {
    delete p_;
  }
}

LSoundProcessBase::LSoundProcessBase(const LSoundSource& input)
    : LSoundSourceBase(input.GetSampleRate(), input.GetChannels(), input.GetPeak()), input_(input)
{
  if (input_.Error()) {
    SetError(kSourceErrorInput);
  }
}
