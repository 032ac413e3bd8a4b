// Dialogic ADPCM: against sox's encoding and decoding of the same audio,
// and the nibble order across reads and seeks.
#include <gtest/gtest.h>

#include "sound/formaterrors.h"
#include "sound/raw.h"
#include "sound/soxfiles.h"
#include "sound/vox.h"

using namespace soxtest;

namespace {

LSoundSource OpenVox(const std::string& path, int rate = 8000)
{
  return LRawFile::OpenSourceADPCM(path.c_str(), rate, 1);
}

} // namespace

TEST(VoxFile, AgainstSox)
{
  TempDir dir;
  std::string wav = dir / "speech.wav";
  std::string vox = dir / "speech.vox";
  // A sweep across the telephone band with a second tone on top.
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", wav, "synth", "3", "sine", "300-3000", "sine", "440",
       "remix", "1,2", "vol", "0.4"});
  Sox({wav, vox});
  LSoundSource s = OpenVox(vox);
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetPeak(), 0x200000);
  std::vector<int> ours = ReadToEnd(s, 999);
  std::vector<int> sox = SoxDecode(dir, {"-t", "vox", "-r", "8000"}, vox);
  ASSERT_EQ(ours.size(), sox.size());
  // The decoder's steps are half of sox's (its 12-bit samples become the
  // top of a 16-bit value, ours sit a bit lower) and its predictor leaks
  // 1/64 per sample where sox's holds.
  double snr = SnrDb(sox, ours, 0.5);
  std::vector<int> original = SoxDecode(dir, {}, wav);
  double snrOriginal = SnrDb(original, ours, 0.5);
  double soxOriginal = SnrDb(original, sox);
  std::printf("VOX SNR: against sox's decoding %.1f dB (gain 0.5); against the original %.1f dB (sox's own: %.1f dB)\n",
              snr, snrOriginal, soxOriginal);
  EXPECT_GT(snr, 25.0);
  EXPECT_GT(snrOriginal, 18.0);
}

TEST(VoxFile, LengthAndNibbleOrder)
{
  TempDir dir;
  std::string path = dir / "n.vox";
  std::vector<unsigned char> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(i * 37 + 11);
  }
  WriteBytes(path, bytes);
  LSoundSource whole = OpenVox(path);
  EXPECT_EQ(whole.GetEndSample(), 2000);
  EXPECT_EQ(whole.GetChannels(), 1);
  std::vector<int> all(2000);
  EXPECT_EQ(whole.Read(all.data(), 2000), 2000);

  // 3 and then 3 more: the second read starts with the second byte's low
  // nibble.
  LSoundSource s = OpenVox(path);
  std::vector<int> pieces(6);
  EXPECT_EQ(s.Read(pieces.data(), 3), 3);
  EXPECT_EQ(s.Read(pieces.data() + 3, 3), 3);
  EXPECT_EQ(pieces, std::vector<int>(all.begin(), all.begin() + 6));
  // Odd-sized reads all the way give the same samples.
  std::vector<int> odd = ReadToEnd(s, 7);
  EXPECT_EQ(odd, std::vector<int>(all.begin() + 6, all.end()));

  // Stereo settings still read mono.
  EXPECT_EQ(LRawFile::OpenSourceADPCM(path.c_str(), 8000, 2).GetChannels(), 1);
}

TEST(VoxFile, RewindAfterAnOddReadStartsAfresh)
{
  TempDir dir;
  std::string path = dir / "r.vox";
  std::vector<unsigned char> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(i * 91 + 5);
  }
  WriteBytes(path, bytes);
  LSoundSource s = OpenVox(path);
  std::vector<int> first = ReadToEnd(s, 64);
  s.Seek(0);
  std::vector<int> skip(5);
  s.Read(skip.data(), 5); // leaves a low nibble pending
  s.Seek(0);
  EXPECT_EQ(ReadToEnd(s, 64), first);
}

TEST(VoxFile, SeekToAnOddFrameStartsWithItsLowNibble)
{
  TempDir dir;
  std::string path = dir / "o.vox";
  // Byte 1 holds codes 0 (high) and 7 (low).
  WriteBytes(path, {0x00, 0x07, 0x00, 0x00});
  LSoundSource s = OpenVox(path);
  s.Seek(3);
  int sample = 0;
  EXPECT_EQ(s.Read(&sample, 1), 1);
  // Code 7 from a fresh decoder: smallest step 16 times (2 * 7 + 1) * 16.
  EXPECT_EQ(sample, 16 * 15 * 16);
  EXPECT_EQ(s.GetPositionSample(), 4);
}

TEST(VoxFile, SilenceOutsideTheFileAndExtremeCodes)
{
  TempDir dir;
  std::string path = dir / "e.vox";
  // Only the largest positive code, for a long time: the step index stays
  // clamped and the leak keeps the predictor bounded.
  WriteBytes(path, std::vector<unsigned char>(100000, 0x77));
  LSoundSource s = OpenVox(path);
  s.Seek(-10);
  std::vector<int> buffer(20, -1);
  EXPECT_EQ(s.Read(buffer.data(), 20), 20);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(buffer[i], 0);
  }
  EXPECT_EQ(buffer[10], 16 * 15 * 16);
  std::vector<int> rest = ReadToEnd(s, 4096);
  int largest = *std::max_element(rest.begin(), rest.end());
  EXPECT_LE(largest, 64 * 1552 * 15 * 16);
  EXPECT_GT(largest, 0);
  s.Seek(200000);
  EXPECT_EQ(s.Read(buffer.data(), 20), 0);
  EXPECT_EQ(buffer[0], 0);
  std::string missing = dir / "missing.vox";
  EXPECT_EQ(OpenVox(missing).GetErrorCode(), kFileErrorOpen);
}
