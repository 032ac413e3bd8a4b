#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "audio/mp3header.h"
#include "sound/mp3.h"
#include "sound/mp3readfile.h"
#include "sound/mp3requantize.h"
#include "sound/mp3scalefactors.h"
#include "sound/mp3sideinfo.h"
#include "sound/mp3tables.h"
#include "sound/mp3testutil.h"

namespace {

using mp3test::Pcm;
using soxtest::Run;
using soxtest::TempDir;

Pcm ReadAllFrom(LSoundSource& s, int block = 4096)
{
  Pcm pcm{s.GetSampleRate(), s.GetChannels(), {}};
  const size_t start = static_cast<size_t>(s.GetPositionSample());
  std::vector<int> buf(static_cast<size_t>(block) * pcm.channels);
  for (;;) {
    int pos = s.GetPositionSample();
    int n = s.Read(buf.data(), block);
    EXPECT_EQ(s.GetPositionSample(), pos + block);
    pcm.samples.insert(pcm.samples.end(), buf.begin(), buf.begin() + static_cast<long>(n) * pcm.channels);
    EXPECT_TRUE(
        std::all_of(buf.begin() + static_cast<long>(n) * pcm.channels, buf.end(), [](int v) { return v == 0; }));
    if (n < block) {
      EXPECT_EQ(static_cast<size_t>(s.GetEndSample()), start + pcm.Frames()) << "the end becomes what was delivered";
      return pcm;
    }
  }
}

Pcm ReadFile(const std::string& path, int block = 4096)
{
  LSoundSource s = LMP3File::OpenSource(path.c_str());
  EXPECT_TRUE(s.IsOpen()) << path;
  return ReadAllFrom(s, block);
}

std::vector<std::string> Frames(const std::string& data)
{
  std::vector<std::string> frames;
  MP3Header h;
  for (size_t pos = 0; pos + 4 <= data.size();) {
    if (!h.Parse(reinterpret_cast<const unsigned char*>(&data[pos]))) {
      pos++;
    } else if (pos + h.GetFrameLength() > data.size()) {
      break;
    } else {
      frames.push_back(data.substr(pos, h.GetFrameLength()));
      pos += h.GetFrameLength();
    }
  }
  return frames;
}

std::string Join(const std::vector<std::string>& frames, size_t from, size_t to)
{
  return std::accumulate(frames.begin() + static_cast<long>(from), frames.begin() + static_cast<long>(to),
                         std::string());
}

std::string Encode(const TempDir& dir, const std::string& name, int rate, int channels, double seconds,
                   std::string encoder)
{
  std::string wav = dir / (name + ".wav");
  std::string mp3 = dir / (name + ".mp3");
  mp3test::WriteTestWav(wav, rate, channels, seconds);
  encoder.replace(encoder.find("%IN%"), 4, "'" + wav + "'");
  encoder.replace(encoder.find("%OUT%"), 5, "'" + mp3 + "'");
  EXPECT_EQ(Run({"sh", "-c", encoder}), 0) << encoder;
  return mp3;
}

size_t XingCountAt(const std::string& data)
{
  size_t first = data.find(Frames(data)[0]);
  MP3Header h;
  h.Parse(reinterpret_cast<const unsigned char*>(&data[first]));
  EXPECT_EQ(data.substr(first + 4 + h.GetSideInfoLength(), 4), "Xing");
  return first + 4 + h.GetSideInfoLength() + 8;
}

}  // namespace

TEST(MP3Decode, EveryEncodingMatchesTheReferenceDecoder)
{
  struct Encoding {
    const char* name;
    int rate, channels;
    const char* encoder;
  } encodings[] = {
      {"mpeg1_44k_128_joint", 44100, 2, "lame --quiet -b 128 -m j %IN% %OUT%"},
      {"mpeg1_44k_32_stereo", 44100, 2, "lame --quiet --resample 44.1 -b 32 -m s %IN% %OUT%"},
      {"mpeg1_48k_192_forced_ms", 48000, 2, "lame --quiet -b 192 -m f %IN% %OUT%"},
      {"mpeg1_32k_64_mono", 32000, 1, "lame --quiet --resample 32 -b 64 -m m %IN% %OUT%"},
      {"mpeg1_44k_vbr_xing", 44100, 2, "lame --quiet -V 2 %IN% %OUT%"},
      {"mpeg2_22k_64_joint", 22050, 2, "lame --quiet --resample 22.05 -b 64 -m j %IN% %OUT%"},
      {"mpeg2_24k_96_stereo", 24000, 2, "lame --quiet --resample 24 -b 96 -m s %IN% %OUT%"},
      {"mpeg2_16k_32_mono", 16000, 1, "lame --quiet --resample 16 -b 32 -m m %IN% %OUT%"},
      {"mpeg25_8k_16_mono", 8000, 1, "lame --quiet --resample 8 -b 16 -m m %IN% %OUT%"},
      {"mpeg25_11k_32_joint", 11025, 2, "lame --quiet --resample 11.025 -b 32 -m j %IN% %OUT%"},
      {"mpeg25_12k_24_stereo", 12000, 2, "lame --quiet --resample 12 -b 24 -m s %IN% %OUT%"},
      {"ffmpeg_44k_160", 44100, 2, "ffmpeg -v error -y -i %IN% -c:a libmp3lame -b:a 160k %OUT%"},
  };
  const int blocks[] = {1, 7, 575, 1152, 1153, 5000, 4096, 333};
  TempDir dir;
  int row = 0;
  for (const Encoding& e : encodings) {
    SCOPED_TRACE(e.name);
    std::string mp3 = Encode(dir, e.name, e.rate, e.channels, 3.0, e.encoder);
    Pcm ref = mp3test::ReferenceDecode(mp3);
    ASSERT_GT(ref.Frames(), 0u);
    Pcm ours = ReadFile(mp3, blocks[row++ % 8]);  // any block size reads the same samples
    ASSERT_EQ(ours.rate, ref.rate);
    int spf = ours.rate >= 32000 ? 1152 : 576;
    EXPECT_EQ(ours.Frames() % spf, 0u);
    mp3test::Comparison c = mp3test::Compare(ours, ref, spf);
    std::printf("%-26s SNR %.1f dB, lag %ld, frames %zu vs %zu\n", e.name, c.snr, c.lag, ours.Frames(), ref.Frames());
    EXPECT_GE(c.snr, 80.0);
    EXPECT_LE(std::labs(static_cast<long>(ours.Frames()) - static_cast<long>(ref.Frames())), spf);
  }
}

TEST(MP3Decode, LeadingBytesForeignFramesSeeksAndOpenFailures)
{
  TempDir dir;
  std::string cbr = Encode(dir, "cbr", 44100, 2, 8.0, "lame --quiet -b 128 %IN% %OUT%");
  std::string mp3 = ReadWhole(cbr);
  Pcm plain = ReadFile(cbr);
  std::string tag = std::string("ID3\3\0\0\0\0\x4F\x76", 10) + std::string(10230, '\0');
  for (const std::string& before : {tag, std::string(10240, '\0')}) {
    ASSERT_TRUE(WriteWhole(dir / "lead.mp3", before + mp3));
    EXPECT_EQ(ReadFile(dir / "lead.mp3").samples, plain.samples);
    LSoundSource s = LMP3File::OpenSource((dir / "lead.mp3").c_str());
    s.Seek(200000);
    std::vector<int> buf(2000 * 2);
    ASSERT_EQ(s.Read(buf.data(), 2000), 2000);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), plain.samples.begin() + 400000));
  }
  ASSERT_TRUE(WriteWhole(dir / "junk.mp3", std::string(65536 + 4, ' ') + mp3));
  EXPECT_EQ(LMP3File::OpenSource((dir / "junk.mp3").c_str()).GetErrorCode(), 3);
  EXPECT_EQ(LMP3File::OpenSource((dir / "missing.mp3").c_str()).GetErrorCode(), 4);
  ASSERT_TRUE(WriteWhole(dir / "empty.mp3", ""));
  EXPECT_EQ(LMP3File::OpenSource((dir / "empty.mp3").c_str()).GetErrorCode(), 3);
  std::vector<int> buf(100, 7);

  // 5 frames at 48000 Hz among 44100 Hz frames are passed over: the reservoir and the filters go on as if they were not
  // there.  11 foreign headers in a row end the stream there.
  std::vector<std::string> a = Frames(mp3);
  std::vector<std::string> b = Frames(ReadWhole(Encode(dir, "48", 48000, 2, 1.0, "lame --quiet -b 128 %IN% %OUT%")));
  ASSERT_GT(a.size(), 300u);
  ASSERT_TRUE(WriteWhole(dir / "mixed.mp3", Join(a, 0, 200) + Join(b, 1, 6) + Join(a, 200, a.size())));
  EXPECT_EQ(ReadFile(dir / "mixed.mp3").samples, plain.samples);
  ASSERT_TRUE(WriteWhole(dir / "cut.mp3", Join(a, 0, 100) + Join(b, 1, 25) + Join(a, 100, 200)));
  EXPECT_EQ(ReadFile(dir / "cut.mp3").Frames(), 100u * 1152);

  LSoundSource s = LMP3File::OpenSource(cbr.c_str());
  buf.assign(3000 * 2, 0);
  for (int target :
       {0, 1, 1151, 1152, 3 * 1152 + 5, 10 * 1152 + 100, 200000, static_cast<int>(plain.Frames()) - 2000}) {
    s.Seek(target);
    EXPECT_EQ(s.GetPositionSample(), target);
    ASSERT_EQ(s.Read(buf.data(), 2000), 2000) << target;
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 4000, plain.samples.begin() + 2L * target)) << target;
  }
  s.Seek(-500);
  ASSERT_EQ(s.Read(buf.data(), 1500), 1500);
  EXPECT_TRUE(std::all_of(buf.begin(), buf.begin() + 1000, [](int v) { return v == 0; }));
  EXPECT_TRUE(std::equal(buf.begin() + 1000, buf.begin() + 3000, plain.samples.begin()));
  // Past the end (found by fuzzing: the last frame was decoded while the position stood later, and the end estimate
  // fell below the position).
  int end = s.GetEndSample();
  for (int target : {end, end + 1, end + 1330, end + 100000}) {
    s.Seek(target);
    std::fill(buf.begin(), buf.end(), 1);
    EXPECT_EQ(s.Read(buf.data(), 2806), 0) << target;
    EXPECT_EQ(buf[2 * 2806 - 1], 0);
    EXPECT_EQ(s.GetEndSample(), end);
    EXPECT_EQ(s.GetPositionSample(), target + 2806);
  }
  s.Seek(end - 100);
  EXPECT_EQ(s.Read(buf.data(), 2806), 100);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 200, plain.samples.end() - 200));
}

TEST(MP3Decode, LengthsAndDamagedFiles)
{
  TempDir dir;
  std::string vbr = Encode(dir, "vbr", 44100, 2, 4.0, "lame --quiet -V 2 %IN% %OUT%");
  std::string data = ReadWhole(vbr);
  size_t frames = Frames(data).size();
  size_t at = XingCountAt(data);
  LSoundSource s = LMP3File::OpenSource(vbr.c_str());
  EXPECT_EQ(s.GetEndSample(), static_cast<int>((frames - 1) * 1152));
  // Decoding starts after the information frame: no leading silent frame.
  EXPECT_EQ(mp3test::Compare(ReadAllFrom(s), mp3test::ReferenceDecode(vbr), 1152).lag, 0);
  // A count of 1000 means 1,152,000 frames, whatever the file holds; a count of 0 would divide by zero: the frame is
  // read as an ordinary one.
  data.replace(at, 4, soxtest::BE(1000, 4));
  ASSERT_TRUE(WriteWhole(dir / "x.mp3", data));
  EXPECT_EQ(LMP3File::OpenSource((dir / "x.mp3").c_str()).GetEndSample(), 1152000);
  data.replace(at, 4, soxtest::BE(0, 4));
  ASSERT_TRUE(WriteWhole(dir / "x.mp3", data));
  EXPECT_EQ(ReadFile(dir / "x.mp3").Frames(), frames * 1152);

  std::mt19937 rng(1234);
  std::vector<int> buf(4096 * 2);
  for (int round = 0; round < 12; round++) {
    std::string d = ReadWhole(vbr);
    if (round % 3 == 0) {
      d.resize(rng() % d.size());
    } else {
      for (int i = 0; i < (round % 3 == 1 ? 20 : 2000); i++) {
        d[rng() % d.size()] ^= static_cast<char>(1u << (rng() % 8));
      }
    }
    ASSERT_TRUE(WriteWhole(dir / "damaged.mp3", d));
    LSoundSource s = LMP3File::OpenSource((dir / "damaged.mp3").c_str());
    if (!s.IsOpen()) {
      continue;
    }
    int span = static_cast<int>(ReadAllFrom(s).Frames()) + 1;
    for (int target :
         {static_cast<int>(rng() % span), span + static_cast<int>(rng() % span), -static_cast<int>(rng() % 5000)}) {
      s.Seek(target);
      for (int k = 0; k < 3; k++) {
        EXPECT_LE(s.Read(buf.data(), 1 + static_cast<int>(rng() % 4096)), 4096);
      }
    }
  }
}

// No encoder at hand writes mixed blocks: their long part (8 bands in MPEG-1, 6 below) takes the
// long scale factors, and the short part starts right after it with no gap.
TEST(MP3Decode, MixedBlocksScaleTheirLongAndShortPartsApart)
{
  for (const auto& [table, mpeg1] : {std::pair{0, true}, std::pair{3, false}}) {
    SCOPED_TRACE(table);
    const MP3BandTable& bands = kMP3BandTables[table];
    MP3GranuleInfo granule{};
    granule.globalGain = 210;
    granule.windowSwitching = 1;
    granule.blockType = 2;
    granule.mixedBlock = 1;
    MP3ScaleFactors sf{};
    std::fill(std::begin(sf.l), std::end(sf.l), 2);
    std::vector<int> in(576, 1);
    float xr[576];
    RequantizeSpectrum(in.data(), 576, granule, sf, bands, mpeg1, xr);
    const int longEnd = MixedBlockLongEnd(bands);
    EXPECT_EQ(longEnd, bands.longBounds[MixedBlockLongBands(mpeg1)]);
    for (int i = 0; i < 576; ++i)
      ASSERT_EQ(xr[i], i < longEnd ? xr[0] : xr[575]) << "line " << i;
    EXPECT_FLOAT_EQ(xr[0] * 2, xr[575]) << "long scale factor 2 halves the long part";
  }
}
