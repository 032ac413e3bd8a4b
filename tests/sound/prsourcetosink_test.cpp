// The cooperative source-to-sink copy and the WAV file sink.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

#include "sound/prsourcetosink.h"
#include "sound/testprogress.h"
#include "sound/testsources.h"
#include "sound/wavsink.h"

namespace {

// Announces a shorter length than it holds until reading reaches that
// length, as an MP3 whose length estimate decoding corrects.
class CorrectedLengthSource : public VectorSource {
public:
  CorrectedLengthSource(std::vector<int> samples, int rate, int announced)
      : VectorSource(std::move(samples), rate, 1), announced_(announced)
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
  LPRSourceToSink op;
  RecordingSink* sink;
  TestProgress progress;
};

void Prepare(Copy& c, LSoundSourceBase* source, RecordingSink* sink)
{
  c.op.source = LSoundSource(source);
  c.sink = sink;
  c.op.sink = LSoundSink(sink);
}

TEST(PRSourceToSinkTest, CopiesToTheSourcesRealEnd)
{
  // Longer than one block, and longer than announced.
  std::vector<int> samples = Sine(440, 8000, 20000, 100000);
  Copy c;
  Prepare(c, new CorrectedLengthSource(samples, 8000, 5000), new RecordingSink(8000, 1));
  EXPECT_EQ(Process(c.progress, c.op), kProcessDone);
  EXPECT_EQ(c.sink->data, samples);
  EXPECT_EQ(c.op.framesCopied, 20000);
  ASSERT_FALSE(c.progress.progress.empty());
  EXPECT_TRUE(std::is_sorted(c.progress.progress.begin(), c.progress.progress.end()));
  EXPECT_LE(c.progress.progress.back(), 1.0);
  EXPECT_EQ(c.progress.status1.front(), "Process Audio");
  EXPECT_EQ(c.progress.status2.front(), "Please wait...");
}

TEST(PRSourceToSinkTest, ConvertsAndLimitsToTheSink)
{
  // One second of stereo far beyond the 16-bit range, into a mono sink at
  // half the rate.
  Copy c;
  Prepare(c, new VectorSource(Sine(440, 44100, 44100, 2000000, 2), 44100, 2, 2000000),
          new RecordingSink(22050, 1));
  c.op.name = "Encoding Audio...";
  EXPECT_EQ(Process(c.progress, c.op), kProcessDone);
  EXPECT_NEAR(static_cast<double>(c.sink->data.size()), 22050, 64);
  int peak = GetBufferPeak(c.sink->data.data(), static_cast<int>(c.sink->data.size()), 1);
  EXPECT_LE(peak, LSF16::GetPeak());
  EXPECT_GT(peak, LSF16::GetPeak() / 2);
  EXPECT_EQ(c.progress.status1.front(), "Encoding Audio...");
}

TEST(PRSourceToSinkTest, StopsFailsAndRefusesErrorHandles)
{
  {
    Copy c;
    Prepare(c, new VectorSource(Sine(440, 8000, 8000, 1000), 8000, 1), new RecordingSink(8000, 1));
    c.progress.stop = true;
    EXPECT_EQ(Process(c.progress, c.op), kProcessStopped);
    EXPECT_TRUE(c.sink->data.empty());
  }
  {
    // The encoder goes away during the copy.
    Copy c;
    Prepare(c, new VectorSource(Sine(440, 8000, 40000, 1000), 8000, 1), new RecordingSink(8000, 1, 2));
    EXPECT_EQ(Process(c.progress, c.op), kProcessFailed);
    EXPECT_EQ(c.sink->data.size(), 2u * 8192u);
  }
  {
    LPRSourceToSink op;
    op.sink = LSoundSink(new RecordingSink(8000, 1));
    TestProgress progress;
    EXPECT_EQ(Process(progress, op), kProcessFailed);
    op.source = LSoundSource(new VectorSource(Sine(440, 8000, 100, 1000), 8000, 1));
    op.sink.Close();
    EXPECT_EQ(Process(progress, op), kProcessFailed);
  }
}

std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

uint32_t LE32(const std::string& b, size_t at)
{
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                               static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}

TEST(WaveFileSinkTest, WritesAHeaderThatMatchesTheData)
{
  char folder[] = "/tmp/wavsink.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string path = std::string(folder) + "/out.wav";
  {
    LWaveFileSink sink(path.c_str(), 11025, 2);
    ASSERT_FALSE(sink.Error());
    std::vector<int> samples = {16, -16, 0x7FFF0, -0x80000, 0x7FFFFFFF, INT_MIN};
    EXPECT_EQ(sink.Write(samples.data(), 3), 3);
    EXPECT_EQ(sink.Write(samples.data(), 0), 0);
  }
  std::string b = ReadAll(path);
  ASSERT_EQ(b.size(), 44u + 12u);
  EXPECT_EQ(b.substr(0, 4), "RIFF");
  EXPECT_EQ(LE32(b, 4), b.size() - 8);
  EXPECT_EQ(LE32(b, 24), 11025u);
  EXPECT_EQ(LE32(b, 28), 11025u * 4);
  EXPECT_EQ(LE32(b, 40), 12u);
  // Samples saturate at the 16-bit range.
  const unsigned char expected[] = {1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x80};
  EXPECT_EQ(b.substr(44), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
  unlink(path.c_str());
  rmdir(folder);
}

TEST(WaveFileSinkTest, ReportsFilesThatCannotBeWritten)
{
  LWaveFileSink missing("/tmp/no/such/folder/out.wav", 8000, 1);
  EXPECT_TRUE(missing.Error());
  int sample = 0;
  EXPECT_EQ(missing.Write(&sample, 1), -1);
  // A full disk.
  LWaveFileSink full("/dev/full", 8000, 1);
  EXPECT_TRUE(full.Error());
  EXPECT_FALSE(full.Finish());
}

} // namespace
