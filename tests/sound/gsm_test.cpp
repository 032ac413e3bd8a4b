// GSM 06.10 against sox's encoding and decoding of the same audio, and the
// frame arithmetic of lengths and seeks.
#include <gtest/gtest.h>

#include "sound/formaterrors.h"
#include "sound/gsm.h"
#include "sound/soxfiles.h"

using namespace soxtest;

namespace {

std::string MakeGsm(const TempDir& dir, const std::string& name, const char* seconds)
{
  std::string wav = dir / (name + ".wav");
  std::string gsm = dir / (name + ".gsm");
  Sox({"-n", "-r", "8000", "-c", "1", "-b", "16", wav, "synth", seconds, "sine", "200-3400", "sine", "330",
       "remix", "1,2", "vol", "0.45"});
  Sox({wav, gsm});
  return gsm;
}

} // namespace

TEST(GsmFile, AgainstSox)
{
  TempDir dir;
  std::string gsm = MakeGsm(dir, "sweep", "3");
  LSoundSource s = LGSMFile::OpenSource(gsm.c_str());
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetSampleRate(), 8000);
  EXPECT_EQ(s.GetChannels(), 1);
  EXPECT_EQ(s.GetPeak(), 0xFFFE0);
  std::vector<int> ours = ReadToEnd(s, 1000);
  std::vector<int> sox = SoxDecode(dir, {}, gsm);
  ASSERT_EQ(ours.size(), sox.size());
  // The output stage differs from the standard's (and sox's): a
  // de-emphasis pole of 880/1024 rather than 28180/32768, and no cut to 13
  // bits; everything before it is the standard's arithmetic.
  double snr = SnrDb(sox, ours);
  std::printf("GSM SNR against sox's decoding: %.1f dB\n", snr);
  EXPECT_GT(snr, 45.0);
}

TEST(GsmFile, LengthSeeksAndTheEnd)
{
  TempDir dir;
  std::vector<unsigned char> frames = ReadBytes(MakeGsm(dir, "long", "2"));
  frames.resize(3300); // 100 frames
  std::string path = dir / "t.gsm";
  WriteBytes(path, frames);
  LSoundSource s = LGSMFile::OpenSource(path.c_str());
  EXPECT_EQ(s.GetEndSample(), 16000);
  std::vector<int> buffer(200, -1);
  for (int at : {16000, 16001, 1 << 30}) {
    s.Seek(at);
    EXPECT_EQ(s.Read(buffer.data(), 200), 0) << at;
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[199], 0);
  }
  s.Seek(15999);
  EXPECT_EQ(s.Read(buffer.data(), 200), 1);
  EXPECT_EQ(buffer[1], 0);

  // A seek restarts the decoder at the frame that holds the target: what
  // follows is what a file starting at that frame decodes to.
  std::string tail = dir / "tail.gsm";
  WriteBytes(tail, std::vector<unsigned char>(frames.begin() + 3 * 33, frames.end()));
  LSoundSource fresh = LGSMFile::OpenSource(tail.c_str());
  std::vector<int> expected = ReadToEnd(fresh, 500);
  s.Seek(3 * 160 + 17);
  EXPECT_EQ(s.Read(buffer.data(), 200), 200);
  EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.end()),
            std::vector<int>(expected.begin() + 17, expected.begin() + 217));

  // Before the start: silence, then the first frame.
  LSoundSource again = LGSMFile::OpenSource(path.c_str());
  std::vector<int> start = ReadToEnd(again, 333);
  again.Seek(-40);
  EXPECT_EQ(again.Read(buffer.data(), 200), 200);
  EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.begin() + 40), std::vector<int>(40, 0));
  EXPECT_EQ(std::vector<int>(buffer.begin() + 40, buffer.end()), std::vector<int>(start.begin(), start.begin() + 160));
}

TEST(GsmFile, PartialFramesAndDamage)
{
  TempDir dir;
  std::string path = dir / "p.gsm";
  // A partial last frame is not part of the length.
  WriteBytes(path, std::vector<unsigned char>(33 * 2 + 20, 0xD5));
  LSoundSource s = LGSMFile::OpenSource(path.c_str());
  EXPECT_EQ(s.GetEndSample(), 320);
  // Any bytes decode: every parameter at its extreme, frame after frame,
  // stays within the de-emphasis bound (32 * 32767 / (1 - 880/1024)).
  for (unsigned char fill : {0x00, 0xFF, 0xAA, 0x55}) {
    WriteBytes(path, std::vector<unsigned char>(33 * 200, fill));
    LSoundSource d = LGSMFile::OpenSource(path.c_str());
    std::vector<int> all = ReadToEnd(d, 777);
    ASSERT_EQ(all.size(), 32000u);
    for (int v : all) {
      ASSERT_LE(std::abs(v), 7500000) << int(fill);
    }
  }
  std::string empty = dir / "empty.gsm";
  WriteBytes(empty, {});
  LSoundSource e = LGSMFile::OpenSource(empty.c_str());
  EXPECT_TRUE(e.IsOpen());
  EXPECT_EQ(e.GetEndSample(), 0);
  std::string missing = dir / "missing.gsm";
  EXPECT_EQ(LGSMFile::OpenSource(missing.c_str()).GetErrorCode(), kFileErrorOpen);
}
