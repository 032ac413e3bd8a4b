#include <gtest/gtest.h>

#include "audio/audiotest.h"
#include "common/files.h"
#include "sound/prsourcetosink.h"
#include "sound/soxfiles.h"
#include "sound/testsources.h"
#include "sound/wavsink.h"

namespace {

// Announces a shorter length than it holds until reading reaches that length, as an MP3 whose length estimate decoding
// corrects.
class CorrectedLengthSource : public VectorSource {
public:
  CorrectedLengthSource(std::vector<int> samples, int announced)
      : VectorSource(std::move(samples), 8000, 1), announced_(announced)
  {
  }
  int GetEndSample() const override
  {
    return GetPositionSample() < announced_ ? announced_ : VectorSource::GetEndSample();
  }

private:
  int announced_;
};

struct Copy {
  Copy(LSoundSourceBase* source, LCollectSink* sink) : sink(sink)
  {
    op.source = LSoundSource(source), op.sink = LSoundSink(sink);
  }
  LPRSourceToSink op;
  LCollectSink* sink;
  TestProgress progress;
};

TEST(PRSourceToSinkTest, CopiesToTheRealEndConvertingAndLimiting)
{
  std::vector<int> samples = Sine(440, 8000, 20000, 100000);
  Copy c(new CorrectedLengthSource(samples, 5000), new LCollectSink(8000, 1));
  EXPECT_EQ(Process(c.progress, c.op), kProcessDone);
  EXPECT_EQ(c.sink->samples_, samples);
  EXPECT_EQ(c.op.framesCopied, 20000);
  ASSERT_FALSE(c.progress.progress.empty());
  EXPECT_TRUE(std::is_sorted(c.progress.progress.begin(), c.progress.progress.end()));
  EXPECT_LE(c.progress.progress.back(), 1.0);
  EXPECT_EQ(c.progress.status1.front(), "Process Audio");
  EXPECT_EQ(c.progress.status2.front(), "Please wait...");

  Copy loud(new VectorSource(Sine(440, 44100, 44100, 2000000, 2), 44100, 2, 2000000), new LCollectSink(22050, 1));
  loud.op.name = "Encoding Audio...";
  EXPECT_EQ(Process(loud.progress, loud.op), kProcessDone);
  EXPECT_NEAR(static_cast<double>(loud.sink->samples_.size()), 22050, 64);
  int peak = GetBufferPeak(loud.sink->samples_.data(), static_cast<int>(loud.sink->samples_.size()), 1);
  EXPECT_LE(peak, LSF16::GetPeak());
  EXPECT_GT(peak, LSF16::GetPeak() / 2);
  EXPECT_EQ(loud.progress.status1.front(), "Encoding Audio...");
}

TEST(PRSourceToSinkTest, StopsFailsAndRefusesErrorHandles)
{
  Copy stopped(new VectorSource(Sine(440, 8000, 8000, 1000), 8000, 1), new LCollectSink(8000, 1));
  stopped.progress.stop = true;
  EXPECT_EQ(Process(stopped.progress, stopped.op), kProcessStopped);
  EXPECT_TRUE(stopped.sink->samples_.empty());
  Copy failed(new VectorSource(Sine(440, 8000, 40000, 1000), 8000, 1), new LCollectSink(8000, 1, nullptr, 2));
  EXPECT_EQ(Process(failed.progress, failed.op), kProcessFailed);
  EXPECT_EQ(failed.sink->samples_.size(), 2u * 8192u);
  LPRSourceToSink op;
  op.sink = LSoundSink(new LCollectSink(8000, 1));
  TestProgress progress;
  EXPECT_EQ(Process(progress, op), kProcessFailed);
  op.source = LSoundSource(new VectorSource(Sine(440, 8000, 100, 1000), 8000, 1));
  op.sink.Close();
  EXPECT_EQ(Process(progress, op), kProcessFailed);
}

TEST(WaveFileSinkTest, WritesAHeaderThatMatchesTheDataOrReportsTheFault)
{
  TempFolder folder;
  std::string path = folder / "out.wav";
  {
    LWaveFileSink sink(path.c_str(), 11025, 2);
    ASSERT_FALSE(sink.Error());
    std::vector<int> samples = {16, -16, 0x7FFF0, -0x80000, 0x7FFFFFFF, INT_MIN};
    EXPECT_EQ(sink.Write(samples.data(), 3), 3);
    EXPECT_EQ(sink.Write(samples.data(), 0), 0);
  }
  using soxtest::LE;
  EXPECT_EQ(ReadWhole(path), "RIFF" + LE(48, 4) + "WAVEfmt " + LE(16, 4) + LE(1, 2) + LE(2, 2) + LE(11025, 4) +
                                 LE(44100, 4) + LE(4, 2) + LE(16, 2) + "data" + LE(12, 4) +
                                 std::string("\1\0\xFF\xFF\xFF\x7F\0\x80\xFF\x7F\0\x80", 12));

  LWaveFileSink missing("/tmp/no/such/folder/out.wav", 8000, 1);
  EXPECT_TRUE(missing.Error());
  int sample = 0;
  EXPECT_EQ(missing.Write(&sample, 1), -1);
  LWaveFileSink full("/dev/full", 8000, 1);
  EXPECT_TRUE(full.Error());
  EXPECT_FALSE(full.Finish());
}

}  // namespace
