// Source and sink handles: sharing, deletion, and the error objects for missing ones.
#include <gtest/gtest.h>

#include <vector>

#include "audio/soundbase.h"
#include "audio/soundsink.h"
#include "audio/soundsource.h"

namespace {

// Counts its deletions in *deleted.
class CountingSink : public LSoundSinkBase {
public:
  CountingSink(int rate, unsigned char channels, int* deleted) : LSoundSinkBase(rate, channels), deleted_(deleted) {}
  ~CountingSink() override { ++*deleted_; }
  int Write(const int*, int frames) override { return position_ += frames, frames; }
  void Seek(int frame) override { position_ = frame; }
  int* deleted_;
};

// Sample value = frame index.
class RampSource : public LSoundSourceBase {
public:
  RampSource(int rate, unsigned char channels, int length, int* deleted = nullptr)
      : LSoundSourceBase(rate, channels, LSF16::GetPeak()), length_(length), deleted_(deleted) {}
  ~RampSource() override { if (deleted_ != nullptr) ++*deleted_; }
  int Read(int* samples, int frames) override
  {
    int n = std::min(frames, length_ - pos_);
    for (int i = 0; i < n * GetChannels(); ++i)
      samples[i] = pos_ + i / GetChannels();
    return pos_ += n, n;
  }
  int GetPositionSample() const override { return pos_; }
  int GetEndSample() const override { return length_; }
  void Seek(int frame) override { pos_ = frame; }
  int length_, pos_ = 0;
  int* deleted_;
};

class PassProcess : public LSoundProcessBase {
public:
  explicit PassProcess(const LSoundSource& input) : LSoundProcessBase(input) {}
  int Read(int* samples, int frames) override { return input_.Read(samples, frames); }
};

TEST(SoundHandles, SinksAreSharedClosedAndReplacedByTheErrorSink)
{
  int deleted = 0, other = 0, frames[4] = {};
  LSoundSink a(new CountingSink(8000, 2, &deleted)), b(a), c, closed(new CountingSink(22050, 1, &deleted)),
      holder(closed), noChannels(new CountingSink(44100, 0, &other));
  c = b;
  c = c;  // self-assignment keeps the object
  c.Write(frames, 2);
  b = LSoundSink();
  const int shared = a.GetPosition().GetMs();  // 2 frames at 8 kHz
  a.Seek(LSoundTime(1500));
  closed.Close();
  const int deletedAfterClose = deleted;
  const struct {
    int got, want;
  } cases[] = {
      {c.Get() == a.Get(), 1}, {a.Error(), 0}, {shared, 0}, {a.GetPosition().GetMs(), 1500},
      {a.Get()->GetPosition().GetSamples(8000), 12000}, {deletedAfterClose, 0},  // holder still has it
      {closed.Error() && !closed, 1}, {closed.GetSampleRate(), 44100}, {closed.GetChannels(), 1},
      {closed.Write(frames, 2), 0}, {(closed.Close(), closed.Error()), 1}, {(holder = closed, deleted), 1},
      {holder.Error(), 1}, {!LSoundSink() && !LSoundSink(nullptr), 1}, {noChannels.Error(), 1},
      {noChannels.GetChannels(), 1}, {(a = c = LSoundSink(), deleted), 2},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(SoundHandles, InvalidFormatsAndTheEmptyHandleAreErrorSources)
{
  LSoundSource zero(new RampSource(0, 0, 10)), negative(new RampSource(-8000, 2, 10)), empty;
  RampSource r(8000, 1, 10);
  const bool wasOk = !r.Error();
  r.SetChannels(0);
  std::vector<int> buf(8, 7);
  const struct {
    int got, want;
  } cases[] = {
      {zero.GetSampleRate(), 44100}, {zero.GetChannels(), 1}, {zero.GetErrorCode(), 3}, {zero.IsOpen() || bool(zero), 0},
      {negative.GetSampleRate(), 44100}, {negative.GetChannels(), 2}, {negative.GetErrorCode(), 3},
      {wasOk, 1}, {r.GetErrorCode(), 3}, {r.GetChannels(), 1},
      {empty.GetErrorCode(), 1}, {empty.GetSampleRate(), 11025}, {empty.GetChannels(), 1}, {empty.GetPeak(), 2097152},
      {empty.GetEndSample(), 0}, {empty.GetEnd().GetMs(), 0}, {empty.Read(buf.data(), 5), 0},
      {empty.Read(buf.data(), -1), 0}, {(empty.Seek(100), empty.GetPositionSample()), 0},
      {LSoundSourceError(9).GetErrorCode(), 9},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
  EXPECT_EQ(buf, (std::vector<int>{0, 0, 0, 0, 0, 7, 7, 7})) << "an error source reads silence";
}

TEST(SoundHandles, SourcesAreSharedAndProcessesKeepTheirInput)
{
  int deleted = 0, buf[10];
  LSoundSource a(new RampSource(44100, 2, 88200, &deleted)), b = a, c, in(new RampSource(16000, 2, 100, &deleted));
  LSoundSource p(new PassProcess(in)), orphan(new PassProcess(LSoundSource()));
  c = a;
  const bool open = a.IsOpen();
  const int end = a.GetEnd().GetMs();
  a.Close();
  in.Close();
  const struct {
    int got, want;
  } cases[] = {
      {open, 1}, {end, 2000}, {a.GetErrorCode(), 1}, {b.Read(buf, 3), 3}, {c.GetPositionSample(), 3},  // one object
      {buf[5], 2}, {(b.Close(), deleted), 0}, {(c = b, deleted), 1}, {c.GetErrorCode(), 1},
      {p.IsOpen(), 1},  // the process keeps its input alive
      {p.GetSampleRate(), 16000}, {p.GetChannels(), 2}, {p.GetPeak(), 524272}, {p.GetEndSample(), 100},
      {(p.Seek(98), p.GetPositionSample()), 98}, {p.Read(buf, 5), 2}, {buf[3], 99}, {(p = LSoundSource(), deleted), 2},
      {orphan.GetErrorCode(), 2}, {orphan.GetSampleRate(), 11025},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

}  // namespace
