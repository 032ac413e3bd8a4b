#include "audio/soundsink.h"

LSoundSinkBase::LSoundSinkBase(int rate, unsigned char channels) : rate_(rate), channels_(channels)
{
  if (channels_ == 0) {
    channels_ = 1;
    SetError();
  }
}

LSoundSinkError::LSoundSinkError() : LSoundSinkBase(44100, 1)
{
  SetError();
}

int LSoundSinkError::Write(const int* samples, int frames)
{
  (void)samples;
  (void)frames;
  return 0;
}

LSoundSink::LSoundSink() : p_(nullptr)
{
  Attach(new LSoundSinkError());
}

LSoundSink::LSoundSink(LSoundSinkBase* sink) : p_(nullptr)
{
  Attach(sink ? sink : new LSoundSinkError());
}

LSoundSink::LSoundSink(const LSoundSink& other) : p_(nullptr)
{
  Attach(other.p_);
}

LSoundSink& LSoundSink::operator=(const LSoundSink& other)
{
  // New reference first: self-assignment must not delete the object.
  LSoundSinkBase* old = p_;
  ++other.p_->refs_;
  p_ = other.p_;
  if (--old->refs_ == 0) {
    delete old;
  }
  return *this;
}

LSoundSink::~LSoundSink()
{
  Release();
}

void LSoundSink::Close()
{
  Release();
  p_ = nullptr;
  Attach(new LSoundSinkError());
}

void LSoundSink::Attach(LSoundSinkBase* sink)
{
  p_ = sink;
  ++p_->refs_;
}

void LSoundSink::Release()
{
  if (p_ && --p_->refs_ == 0) {
    delete p_;
  }
}
