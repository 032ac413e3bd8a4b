// Source and sink handles: sharing, deletion, and the error objects that
// stand in for a missing source or sink.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "audio/soundbase.h"
#include "audio/soundsink.h"
#include "audio/soundsource.h"

namespace {

// A sink that records its own destruction and counts frames.
class CountingSink : public LSoundSinkBase {
public:
  CountingSink(int rate, unsigned char channels, int* deleted) : LSoundSinkBase(rate, channels), deleted_(deleted) {}
  ~CountingSink() override { ++*deleted_; }
  int Write(const int* samples, int frames) override
  {
    (void)samples;
    position_ += frames;
    return frames;
  }
  void Seek(int frame) override { position_ = frame; }

private:
  int* deleted_;
};

// A ramp source: sample value = frame index.
class RampSource : public LSoundSourceBase {
public:
  RampSource(int rate, unsigned char channels, int length, int* deleted = nullptr)
      : LSoundSourceBase(rate, channels, LSF16::GetPeak()), length_(length), deleted_(deleted)
  {
  }
  ~RampSource() override
  {
    if (deleted_) {
      ++*deleted_;
    }
  }
  int Read(int* samples, int frames) override
  {
    int n = std::min(frames, length_ - pos_);
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < GetChannels(); ++c) {
        samples[i * GetChannels() + c] = pos_ + i;
      }
    }
    pos_ += n;
    return n;
  }
  int GetPositionSample() const override { return pos_; }
  int GetEndSample() const override { return length_; }
  void Seek(int frame) override { pos_ = frame; }

private:
  int length_;
  int pos_ = 0;
  int* deleted_;
};

// Passes its input through unchanged.
class PassProcess : public LSoundProcessBase {
public:
  explicit PassProcess(const LSoundSource& input) : LSoundProcessBase(input) {}
  int Read(int* samples, int frames) override { return input_.Read(samples, frames); }
};

} // namespace

TEST(SoundSink, SharedOwnership)
{
  int deleted = 0;
  {
    LSoundSink a(new CountingSink(8000, 2, &deleted));
    EXPECT_FALSE(a.Error());
    {
      LSoundSink b(a);
      LSoundSink c;
      c = b;
      c = c; // self-assignment keeps the object
      EXPECT_EQ(c.Get(), a.Get());
      int frames[4] = {};
      c.Write(frames, 2);
    }
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(a.GetPosition().GetMs(), 0); // 2 frames at 8 kHz
    a.Seek(LSoundTime(1500));
    EXPECT_EQ(a.GetPosition().GetMs(), 1500);
    EXPECT_EQ(a.Get()->GetPosition().GetSamples(8000), 12000);
  }
  EXPECT_EQ(deleted, 1);
}

TEST(SoundSink, CloseAndErrorSink)
{
  int deleted = 0;
  LSoundSink a(new CountingSink(22050, 1, &deleted));
  LSoundSink b(a);
  a.Close();
  EXPECT_EQ(deleted, 0); // b still holds it
  EXPECT_TRUE(a.Error());
  EXPECT_TRUE(!a);
  EXPECT_EQ(a.GetSampleRate(), 44100);
  EXPECT_EQ(a.GetChannels(), 1);
  int frames[2] = {1, 2};
  EXPECT_EQ(a.Write(frames, 2), 0);
  a.Close();
  EXPECT_TRUE(a.Error());
  b = a; // releases the last reference to the counting sink
  EXPECT_EQ(deleted, 1);
  EXPECT_TRUE(b.Error());

  LSoundSink empty;
  EXPECT_TRUE(!empty);
  LSoundSink null(nullptr);
  EXPECT_TRUE(!null);
}

TEST(SoundSink, ZeroChannelsIsAnError)
{
  int deleted = 0;
  LSoundSink s(new CountingSink(44100, 0, &deleted));
  EXPECT_TRUE(s.Error());
  EXPECT_EQ(s.GetChannels(), 1);
}

TEST(SoundSource, InvalidFormatIsCorrected)
{
  LSoundSource s(new RampSource(0, 0, 10));
  EXPECT_EQ(s.GetSampleRate(), 44100);
  EXPECT_EQ(s.GetChannels(), 1);
  EXPECT_EQ(s.GetErrorCode(), 3);
  EXPECT_FALSE(s.IsOpen());
  EXPECT_FALSE(static_cast<bool>(s));

  LSoundSource neg(new RampSource(-8000, 2, 10));
  EXPECT_EQ(neg.GetSampleRate(), 44100);
  EXPECT_EQ(neg.GetChannels(), 2);
  EXPECT_EQ(neg.GetErrorCode(), 3);

  RampSource r(8000, 1, 10);
  EXPECT_FALSE(r.Error());
  r.SetChannels(0);
  EXPECT_EQ(r.GetErrorCode(), 3);
  EXPECT_EQ(r.GetChannels(), 1);
}

TEST(SoundSource, EmptyHandleIsErrorSource)
{
  LSoundSource s;
  EXPECT_EQ(s.GetErrorCode(), 1);
  EXPECT_EQ(s.GetSampleRate(), 11025);
  EXPECT_EQ(s.GetChannels(), 1);
  EXPECT_EQ(s.GetPeak(), 2097152);
  EXPECT_EQ(s.GetEndSample(), 0);
  EXPECT_EQ(s.GetPositionSample(), 0);
  EXPECT_EQ(s.GetEnd().GetMs(), 0);
  std::vector<int> buf(8, 7);
  EXPECT_EQ(s.Read(buf.data(), 5), 0);
  EXPECT_EQ(buf, (std::vector<int>{0, 0, 0, 0, 0, 7, 7, 7}));
  EXPECT_EQ(s.Read(buf.data(), -1), 0);
  s.Seek(100);
  EXPECT_EQ(s.GetPositionSample(), 0);

  LSoundSourceError e(9);
  EXPECT_EQ(e.GetErrorCode(), 9);
}

TEST(SoundSource, SharingAndClose)
{
  int deleted = 0;
  LSoundSource a(new RampSource(44100, 2, 88200, &deleted));
  EXPECT_TRUE(a.IsOpen());
  EXPECT_EQ(a.GetEnd().GetMs(), 2000);
  LSoundSource b = a;
  LSoundSource c;
  c = a;
  a.Close();
  EXPECT_EQ(a.GetErrorCode(), 1);
  EXPECT_EQ(deleted, 0);
  // b and c share the position of one object.
  int buf[8];
  EXPECT_EQ(b.Read(buf, 3), 3);
  EXPECT_EQ(c.GetPositionSample(), 3);
  EXPECT_EQ(buf[5], 2);
  b.Close();
  EXPECT_EQ(deleted, 0);
  c = b;
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(c.GetErrorCode(), 1);
}

TEST(SoundSource, ProcessTakesInputFormat)
{
  int deleted = 0;
  {
    LSoundSource in(new RampSource(16000, 2, 100, &deleted));
    LSoundSource p(new PassProcess(in));
    in.Close();
    EXPECT_EQ(deleted, 0); // the process keeps its input alive
    EXPECT_TRUE(p.IsOpen());
    EXPECT_EQ(p.GetSampleRate(), 16000);
    EXPECT_EQ(p.GetChannels(), 2);
    EXPECT_EQ(p.GetPeak(), 524272);
    EXPECT_EQ(p.GetEndSample(), 100);
    p.Seek(98);
    EXPECT_EQ(p.GetPositionSample(), 98);
    int buf[10];
    EXPECT_EQ(p.Read(buf, 5), 2);
    EXPECT_EQ(buf[3], 99);
  }
  EXPECT_EQ(deleted, 1);

  LSoundSource none;
  LSoundSource p(new PassProcess(none));
  EXPECT_EQ(p.GetErrorCode(), 2);
  EXPECT_EQ(p.GetSampleRate(), 11025);
}
