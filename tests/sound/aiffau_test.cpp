// The AIFF and Sun AU readers against files written by sox, decoded
// bit-exact against sox's own decoding, and against hand-made headers.
#include <gtest/gtest.h>

#include "sound/aiff.h"
#include "sound/au.h"
#include "sound/formaterrors.h"
#include "sound/soxfiles.h"

using namespace soxtest;

namespace {

class SoxFiles : public ::testing::Test {
protected:
  // Writes noise in the given sox output options and checks our decoding
  // against sox's.
  void ExpectBitExact(const std::string& name, std::vector<std::string> options, LSoundSource (*open)(const char*),
                      int rate, int channels)
  {
    std::string path = dir_ / name;
    std::vector<std::string> args = {"-n", "-r", std::to_string(rate), "-c", std::to_string(channels)};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {path, "synth", "0.7", "whitenoise", "vol", "0.95"});
    Sox(args);
    LSoundSource s = open(path.c_str());
    ASSERT_TRUE(s.IsOpen()) << name << " error " << int(s.GetErrorCode());
    EXPECT_EQ(s.GetSampleRate(), rate) << name;
    EXPECT_EQ(s.GetChannels(), channels) << name;
    std::vector<int> ours = ReadToEnd(s, 4096);
    std::vector<int> sox = SoxDecode(dir_, {}, path);
    EXPECT_EQ(ours.size(), sox.size()) << name;
    EXPECT_EQ(FirstDifference(ours, sox), -1) << name;
    EXPECT_EQ(s.GetEndSample() * channels, static_cast<int>(sox.size())) << name;
  }
  TempDir dir_;
};

std::vector<unsigned char> Prefix(std::vector<unsigned char> bytes, size_t count)
{
  bytes.resize(count);
  return bytes;
}

// An AIFF file from its chunks (each given whole, with header and pad).
std::vector<unsigned char> Form(const char* type, std::initializer_list<std::vector<unsigned char>> chunks)
{
  std::vector<unsigned char> body;
  PutText(body, type);
  for (const auto& c : chunks) {
    body.insert(body.end(), c.begin(), c.end());
  }
  std::vector<unsigned char> b;
  PutText(b, "FORM");
  PutBE(b, static_cast<uint32_t>(body.size()), 4);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

std::vector<unsigned char> Chunk(const char* id, const std::vector<unsigned char>& body, int64_t size = -1)
{
  std::vector<unsigned char> b;
  PutText(b, id);
  PutBE(b, static_cast<uint32_t>(size < 0 ? static_cast<int64_t>(body.size()) : size), 4);
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() % 2 != 0) {
    b.push_back(0);
  }
  return b;
}

// COMM body: channels, frames, bits and the 80-bit rate 8000 Hz.
std::vector<unsigned char> Comm(uint16_t channels, uint16_t bits, uint16_t exponent = 0x400B,
                                uint32_t mantissa = 0xFA000000)
{
  std::vector<unsigned char> b;
  PutBE(b, channels, 2);
  PutBE(b, 0, 4);
  PutBE(b, bits, 2);
  PutBE(b, exponent, 2);
  PutBE(b, mantissa, 4);
  PutBE(b, 0, 4);
  return b;
}

std::vector<unsigned char> Ssnd(const std::vector<unsigned char>& samples)
{
  std::vector<unsigned char> b(8, 0); // offset and block size
  b.insert(b.end(), samples.begin(), samples.end());
  return b;
}

std::vector<unsigned char> AuHeader(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t rate, uint32_t channels)
{
  std::vector<unsigned char> b;
  PutText(b, ".snd");
  for (uint32_t v : {offset, size, encoding, rate, channels}) {
    PutBE(b, v, 4);
  }
  return b;
}

} // namespace

TEST_F(SoxFiles, AiffDecodesBitExact)
{
  ExpectBitExact("s16.aiff", {"-b", "16"}, LAifFile::OpenSource, 44100, 2);
  ExpectBitExact("s8.aiff", {"-b", "8"}, LAifFile::OpenSource, 11025, 1);
  ExpectBitExact("r96.aiff", {"-b", "16"}, LAifFile::OpenSource, 96000, 1);
}

TEST_F(SoxFiles, AuDecodesBitExact)
{
  ExpectBitExact("ulaw.au", {"-e", "u-law"}, LAuFile::OpenSource, 8000, 1);
  ExpectBitExact("alaw.au", {"-e", "a-law"}, LAuFile::OpenSource, 8000, 2);
  ExpectBitExact("s8.au", {"-e", "signed-integer", "-b", "8"}, LAuFile::OpenSource, 22050, 1);
  ExpectBitExact("s16.au", {"-e", "signed-integer", "-b", "16"}, LAuFile::OpenSource, 16000, 2);
}

TEST_F(SoxFiles, EncodingsThatAreRefused)
{
  std::string a24 = dir_ / "a24.aiff";
  std::string f32 = dir_ / "f32.au";
  Sox({"-n", "-r", "8000", "-b", "24", a24, "synth", "0.1", "sine", "440"});
  Sox({"-n", "-r", "8000", "-e", "floating-point", "-b", "32", f32, "synth", "0.1", "sine", "440"});
  EXPECT_EQ(LAifFile::OpenSource(a24.c_str()).GetErrorCode(), kFileErrorEncoding);
  EXPECT_EQ(LAuFile::OpenSource(f32.c_str()).GetErrorCode(), kFileErrorEncoding);
  EXPECT_EQ(ReadBytes(f32)[15], 6); // sox wrote encoding 6
}

TEST(AiffFile, OddChunkBeforeCommAndTwelveBitSamples)
{
  TempDir dir;
  std::string path = dir / "t.aiff";
  std::vector<unsigned char> samples;
  for (int v : {0x7FF0, -0x8000, 0x0010, -0x0010}) {
    PutBE(samples, static_cast<uint16_t>(v), 2);
  }
  WriteBytes(path, Form("AIFF", {Chunk("ANNO", {'a', 'b', 'c'}), Chunk("COMM", Comm(1, 12)), Chunk("SSND", Ssnd(samples))}));
  LSoundSource s = LAifFile::OpenSource(path.c_str());
  ASSERT_TRUE(s.IsOpen()) << int(s.GetErrorCode());
  EXPECT_EQ(s.GetSampleRate(), 8000);
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{0x7FF0 * 16, -0x8000 * 16, 256, -256}));
}

TEST(AiffFile, DamagedHeaders)
{
  TempDir dir;
  std::string path = dir / "t.aiff";
  std::vector<unsigned char> data = {1, 2, 3, 4};
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    unsigned char error;
  } cases[] = {
      {"AIFF-C", Form("AIFC", {Chunk("COMM", Comm(1, 16)), Chunk("SSND", Ssnd(data))}), kFileErrorCorrupt},
      {"no SSND", Form("AIFF", {Chunk("COMM", Comm(1, 16))}), kFileErrorCorrupt},
      {"SSND before COMM", Form("AIFF", {Chunk("SSND", Ssnd(data)), Chunk("COMM", Comm(1, 16))}), kFileErrorCorrupt},
      {"short COMM", Form("AIFF", {Chunk("COMM", Prefix(Comm(1, 16), 16)), Chunk("SSND", Ssnd(data))}),
       kFileErrorCorrupt},
      {"zero channels", Form("AIFF", {Chunk("COMM", Comm(0, 16)), Chunk("SSND", Ssnd(data))}), kFileErrorCorrupt},
      {"300 channels", Form("AIFF", {Chunk("COMM", Comm(300, 16)), Chunk("SSND", Ssnd(data))}), kFileErrorCorrupt},
      {"rate exponent too large", Form("AIFF", {Chunk("COMM", Comm(1, 16, 0x401F)), Chunk("SSND", Ssnd(data))}),
       kFileErrorCorrupt},
      {"negative rate", Form("AIFF", {Chunk("COMM", Comm(1, 16, 0xC00B)), Chunk("SSND", Ssnd(data))}),
       kFileErrorCorrupt},
      {"huge chunk", Form("AIFF", {Chunk("ANNO", {}, 0x80000000LL), Chunk("COMM", Comm(1, 16))}), kFileErrorCorrupt},
      {"empty", {}, kFileErrorCorrupt},
      {"17 bits", Form("AIFF", {Chunk("COMM", Comm(1, 17)), Chunk("SSND", Ssnd(data))}), kFileErrorEncoding},
  };
  for (const Case& c : cases) {
    WriteBytes(path, c.bytes);
    EXPECT_EQ(LAifFile::OpenSource(path.c_str()).GetErrorCode(), c.error) << c.what;
  }
  std::string missing = dir / "missing.aiff";
  EXPECT_EQ(LAifFile::OpenSource(missing.c_str()).GetErrorCode(), kFileErrorOpen);

  // An SSND chunk too small for its two fields holds no audio.
  WriteBytes(path, Form("AIFF", {Chunk("COMM", Comm(1, 16)), Chunk("SSND", std::vector<unsigned char>(8, 0), 6)}));
  LSoundSource s = LAifFile::OpenSource(path.c_str());
  EXPECT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetEndSample(), 0);
}

TEST(AiffFile, ExtendedRates)
{
  struct Case {
    uint16_t exponent;
    uint32_t mantissa;
    uint32_t rate;
  } cases[] = {
      {0x400E, 0xAC440000, 44100}, {0x400B, 0xFA000000, 8000},  {0x400C, 0xAC440000, 11025},
      {0x4000, 0x80000000, 2},     {0x4000, 0xC0000000, 3},     {0x401E, 0xFFFFFFFF, 0xFFFFFFFF},
      {0x4001, 0xA0000000, 5},     {0x4001, 0x90000000, 5},      // 4.5 rounds up
      {0x3FFF, 0x80000000, 0},     {0x401F, 0x80000000, 0},     {0x0000, 0, 0},
      {0xC00E, 0xAC440000, 0},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> b;
    PutBE(b, c.exponent, 2);
    PutBE(b, c.mantissa, 4);
    PutBE(b, 0, 4);
    EXPECT_EQ(LAifExtendedToRate(b.data()), c.rate) << std::hex << c.exponent << " " << c.mantissa;
  }
}

TEST(AuFile, DataOffsetSizeAndDamage)
{
  TempDir dir;
  std::string path = dir / "t.au";
  // Offset 32: eight annotation bytes before the audio.
  std::vector<unsigned char> file = AuHeader(32, 4, 3, 8000, 1);
  PutText(file, "annotat");
  file.push_back(0);
  PutBE(file, 100, 2);
  PutBE(file, static_cast<uint16_t>(-100), 2);
  WriteBytes(path, file);
  LSoundSource s = LAuFile::OpenSource(path.c_str());
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{1600, -1600}));

  // All bits set: the data runs to the end of the file.
  file = AuHeader(24, 0xFFFFFFFF, 2, 8000, 1);
  file.insert(file.end(), {1, 2, 3, 0xFF, 0x80});
  WriteBytes(path, file);
  s = LAuFile::OpenSource(path.c_str());
  EXPECT_EQ(ReadToEnd(s), (std::vector<int>{4096, 8192, 12288, -4096, -128 * 4096}));

  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    unsigned char error;
  } cases[] = {
      {"magic", [] { auto b = AuHeader(24, 0, 3, 8000, 1); b[0] = 'x'; return b; }(), kFileErrorCorrupt},
      {"short", Prefix(AuHeader(24, 0, 3, 8000, 1), 23), kFileErrorCorrupt},
      {"zero channels", AuHeader(24, 0, 3, 8000, 0), kFileErrorCorrupt},
      {"256 channels", AuHeader(24, 0, 3, 8000, 256), kFileErrorCorrupt},
      {"zero rate", AuHeader(24, 0, 1, 0, 1), kFileErrorCorrupt},
      {"rate beyond int", AuHeader(24, 0, 1, 0x80000000u, 1), kFileErrorCorrupt},
      {"float", AuHeader(24, 0, 6, 8000, 1), kFileErrorEncoding},
      {"24-bit", AuHeader(24, 0, 4, 8000, 1), kFileErrorEncoding},
  };
  for (const Case& c : cases) {
    WriteBytes(path, c.bytes);
    EXPECT_EQ(LAuFile::OpenSource(path.c_str()).GetErrorCode(), c.error) << c.what;
  }
  std::string missing = dir / "missing.au";
  EXPECT_EQ(LAuFile::OpenSource(missing.c_str()).GetErrorCode(), kFileErrorOpen);

  // An offset beyond the file opens and reads silence.
  WriteBytes(path, AuHeader(1000, 8, 3, 8000, 1));
  s = LAuFile::OpenSource(path.c_str());
  ASSERT_TRUE(s.IsOpen());
  EXPECT_EQ(ReadToEnd(s), std::vector<int>(4, 0));
}
