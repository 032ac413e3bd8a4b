// MOH files built here bit by bit: segments, modes, checksums, cut files,
// and the decoded ".aud" files.
#include <gtest/gtest.h>

#include "base/file.h"
#include "base/fileclasses.h"
#include "sound/formaterrors.h"
#include "sound/moh.h"
#include "sound/mohdecompressor.h"
#include "sound/soxfiles.h"

using namespace soxtest;

namespace {

class BitWriter {
public:
  void Put(uint32_t value, int bits)
  {
    for (int i = bits - 1; i >= 0; --i) {
      current_ = static_cast<unsigned char>((current_ << 1) | ((value >> i) & 1));
      if (++count_ == 8) {
        bytes_.push_back(current_);
        current_ = 0;
        count_ = 0;
      }
    }
  }
  std::vector<unsigned char> Bytes() const
  {
    std::vector<unsigned char> b = bytes_;
    if (count_ > 0) {
      b.push_back(static_cast<unsigned char>(current_ << (8 - count_)));
    }
    return b;
  }

private:
  std::vector<unsigned char> bytes_;
  unsigned char current_ = 0;
  int count_ = 0;
};

// Compressed data of residuals in groups of 8 with one width each, and
// the checksum byte that closes a segment.
std::vector<unsigned char> Compress(const std::vector<int>& residuals, int width)
{
  BitWriter w;
  for (size_t i = 0; i < residuals.size(); ++i) {
    if (i % 8 == 0) {
      w.Put(static_cast<uint32_t>(width), 4);
    }
    if (width > 0) {
      w.Put(static_cast<uint32_t>(residuals[i] + (1 << (width - 1))), width);
    }
  }
  return w.Bytes();
}

unsigned char Checksum(const std::vector<unsigned char>& data)
{
  unsigned char sum = 0x7D;
  for (unsigned char b : data) {
    sum = static_cast<unsigned char>(sum + b);
  }
  return sum;
}

struct Segment {
  int32_t count;
  std::vector<unsigned char> data; // compressed, without the checksum
  int checksum = -1;               // -1: the right one; -2: none
};

std::vector<unsigned char> MohFile(const std::vector<Segment>& segments, uint32_t skip = 5)
{
  std::vector<unsigned char> b;
  PutLE(b, 0x484F4D00, 4);
  PutLE(b, skip, 4);
  b.resize(24, 0x11);
  b.insert(b.end(), std::min(skip, 100000u), 0xEE); // a larger skip runs past the end
  for (const Segment& s : segments) {
    PutLE(b, 1, 4);
    PutLE(b, static_cast<uint32_t>(s.count), 4);
    PutLE(b, 0, 4);
    b.insert(b.end(), s.data.begin(), s.data.end());
    if (s.checksum != -2) {
      b.push_back(static_cast<unsigned char>(s.checksum == -1 ? Checksum(s.data) : s.checksum));
    }
  }
  return b;
}

class MohFileTest : public ::testing::Test {
protected:
  LSoundSource Open(const std::vector<unsigned char>& bytes)
  {
    WriteBytes(path_, bytes);
    return LMOHSource::OpenSource(path_.c_str(), dir_.Path().c_str());
  }
  TempDir dir_;
  std::string path_ = dir_ / "m.moh";
};

} // namespace

TEST_F(MohFileTest, PredictorOutputsInBothModes)
{
  // 8-bit mode: out = x1 * 128.  From a zero state the first two samples
  // are the residuals; the third is the prediction (9 * 50 + 100 * (0 - 9)
  // + 128) >> 8 = -2, since a = 100 * 24 * 50 / (100^2 + 50^2 + 1) = 9.
  Segment eight{3, Compress({100, 50, 0}, 8)};
  LSoundSource s = Open(MohFile({eight}));
  ASSERT_TRUE(s.IsOpen()) << int(s.GetErrorCode());
  EXPECT_EQ(s.GetSampleRate(), 11025);
  EXPECT_EQ(s.GetChannels(), 1);
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{100 * 128 * 16, 50 * 128 * 16, -2 * 128 * 16}));

  // 11-bit mode (negative count): out = x1 * 16, 16 bits wide.
  Segment eleven{-3, Compress({1000, -500, 0}, 12)};
  s = Open(MohFile({eleven}));
  std::vector<int> got = ReadToEnd(s);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], 1000 * 16 * 16);
  EXPECT_EQ(got[1], -500 * 16 * 16);

  // The sample is kept to 8 signed bits in the 8-bit mode: 200 wraps to
  // -56.  In the 11-bit mode 5000 * 16 wraps to 16 bits.
  s = Open(MohFile({Segment{1, Compress({200}, 9)}}));
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{-56 * 128 * 16}));
  s = Open(MohFile({Segment{-1, Compress({5000}, 14)}}));
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{static_cast<int16_t>(5000 * 16) * 16}));

  // Width 0: every residual is 0, four bits for a group of eight.
  s = Open(MohFile({Segment{40, Compress(std::vector<int>(40, 0), 0)}}));
  EXPECT_EQ(ReadToEnd(s), std::vector<int>(40, 0));
}

TEST_F(MohFileTest, SegmentsFollowEachOtherIntoAudFiles)
{
  std::vector<int> first(1000);
  std::vector<int> second(5000);
  for (size_t i = 0; i < first.size(); ++i) {
    first[i] = static_cast<int>(i % 17) - 8;
  }
  for (size_t i = 0; i < second.size(); ++i) {
    second[i] = static_cast<int>(i % 29) - 14;
  }
  // The second segment crosses the 4096-byte input blocks.
  LSoundSource s = Open(MohFile({Segment{1000, Compress(first, 5)}, Segment{-5000, Compress(second, 6)}}, 7000));
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetEndSample(), 6000);
  std::vector<int> all = ReadToEnd(s, 999);
  EXPECT_EQ(all.size(), 6000u);
  EXPECT_EQ(LFile::GetFileSizeBytes((dir_ / "0.aud").c_str()), 2000u);
  EXPECT_EQ(LFile::GetFileSizeBytes((dir_ / "1.aud").c_str()), 10000u);
  EXPECT_FALSE(LFile::TestFileExists((dir_ / "2.aud").c_str()));
  // The concatenation rewinds: reading again gives the same samples.
  s.Seek(0);
  EXPECT_EQ(ReadToEnd(s, 4096), all);
}

TEST_F(MohFileTest, ABadChecksumOrAnEarlyEndIsTheLastSegment)
{
  std::vector<int> r(64, 3);
  Segment good{64, Compress(r, 4)};
  Segment bad{64, Compress(r, 4), 0x00};
  LSoundSource s = Open(MohFile({bad, good}));
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetEndSample(), 64); // the bad segment is still used

  // Cut inside the second segment: what it decoded so far is used.
  std::vector<unsigned char> file = MohFile({good, good});
  file.erase(file.end() - 10, file.end());
  s = Open(file);
  EXPECT_EQ(s.GetEndSample(), 64 + 48);

  // A segment whose checksum byte is missing ends the list.
  s = Open(MohFile({Segment{64, Compress(r, 4), -2}}));
  EXPECT_EQ(s.GetEndSample(), 64);

  // An empty segment needs only its checksum.
  s = Open(MohFile({Segment{0, {}}, good}));
  EXPECT_EQ(s.GetEndSample(), 64);
}

TEST_F(MohFileTest, DamagedFiles)
{
  std::string missing = dir_ / "missing.moh";
  EXPECT_EQ(LMOHSource::OpenSource(missing.c_str(), dir_.Path().c_str()).GetErrorCode(), kFileErrorOpen);
  EXPECT_EQ(Open(std::vector<unsigned char>(23, 0)).GetErrorCode(), kFileErrorCorrupt);
  EXPECT_EQ(Open(MohFile({})).GetErrorCode(), kFileErrorCorrupt);
  EXPECT_EQ(Open(MohFile({}, 0xFFFFFFF0u)).GetErrorCode(), kFileErrorCorrupt);

  // A count of INT32_MIN (no positive twin) decodes what the input holds.
  LSoundSource s = Open(MohFile({Segment{INT32_MIN, Compress(std::vector<int>(16, 1), 3), -2}}));
  EXPECT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetEndSample(), 16);

  // Thousands of tiny segments: the list stops at kMaxSegments.
  std::vector<Segment> many(1000, Segment{1, Compress({1}, 2)});
  s = Open(MohFile(many));
  EXPECT_EQ(s.GetEndSample(), LMOHSource::kMaxSegments);
}

TEST(MohDecompressor, InputInPiecesGivesTheSameSamples)
{
  TempDir dir;
  std::vector<int> r(300);
  for (size_t i = 0; i < r.size(); ++i) {
    r[i] = static_cast<int>((i * 7) % 31) - 15;
  }
  std::vector<unsigned char> data = Compress(r, 5);
  data.push_back(Checksum(data));
  std::vector<std::vector<unsigned char>> outputs;
  for (int piece : {1, 3, 1000}) {
    std::string path = dir / ("p" + std::to_string(piece));
    {
      LWriteFile out(path.c_str());
      LMOHDecompressor d;
      d.Reset(300, true);
      size_t at = 0;
      while (at < data.size() && !d.Checked()) {
        int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(piece), data.size() - at));
        at += static_cast<size_t>(d.Ucp(data.data() + at, n, out));
      }
      EXPECT_TRUE(d.Finished());
      EXPECT_TRUE(d.Checked());
      EXPECT_FALSE(d.Error());
      EXPECT_EQ(at, data.size());
    }
    outputs.push_back(ReadBytes(path));
  }
  EXPECT_EQ(outputs[0].size(), 600u);
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(outputs[0], outputs[2]);
}
