// The DCT and PC Dart converters: DCT files built around a WAV file written
// by sox, every header fault, stops, and the PC Dart wrapping that the WAV
// reader refuses.
#include <gtest/gtest.h>

#include "sound/dct.h"
#include "sound/formaterrors.h"
#include "sound/pcdart.h"
#include "sound/soxfiles.h"
#include "sound/testprogress.h"
#include "sound/wav.h"

using namespace soxtest;

namespace {

struct Attachment {
  std::string name;
  uint32_t declared;
  uint32_t bytes;
};

struct DctLayout {
  uint16_t version = 3;
  uint32_t flags = 0;
  int64_t total = -1; // -1: the file's real size
  uint32_t extraLength = 5;
  uint32_t notes = 3;
  std::vector<Attachment> attachments;
  uint8_t channels = 1;
};

void PutString(std::vector<unsigned char>& b, const std::string& text)
{
  b.push_back(static_cast<unsigned char>(text.size()));
  PutText(b, text.c_str());
}

std::vector<unsigned char> BuildDct(const DctLayout& s, const std::vector<unsigned char>& wav)
{
  std::vector<unsigned char> b;
  PutLE(b, s.version, 2);
  PutLE(b, 0, 4); // total, set below
  PutLE(b, s.flags, 4);
  b.insert(b.end(), 8, 0x21);
  if (s.version > 2) {
    PutLE(b, s.extraLength, 4);
    b.insert(b.end(), std::min(s.extraLength, 1000u), 0x22);
  }
  b.insert(b.end(), 4, 0x23);
  for (int i = 0; i < 11; ++i) {
    PutString(b, "field" + std::to_string(i));
  }
  b.push_back(0x24);
  PutLE(b, s.notes, 4);
  b.insert(b.end(), std::min(s.notes, 1000u), 'n');
  if ((s.flags & 4) != 0) {
    b.push_back(static_cast<unsigned char>(s.attachments.size()));
    for (const Attachment& a : s.attachments) {
      PutString(b, a.name);
      PutLE(b, a.declared, 4);
      b.insert(b.end(), a.bytes, 'a');
    }
  }
  if (s.version > 0) {
    b.push_back(s.channels);
    b.insert(b.end(), 4, 0x25);
  }
  b.insert(b.end(), wav.begin(), wav.end());
  uint32_t total = static_cast<uint32_t>(s.total < 0 ? static_cast<int64_t>(b.size()) : s.total);
  for (int i = 0; i < 4; ++i) {
    b[2 + i] = static_cast<unsigned char>(total >> (8 * i));
  }
  return b;
}

class Dct : public ::testing::Test {
protected:
  void SetUp() override
  {
    std::string wav = dir_ / "inner.wav";
    Sox({"-n", "-r", "11025", "-c", "1", "-b", "16", wav, "synth", "4", "sine", "440"});
    wav_ = ReadBytes(wav);
  }
  int Convert(const DctLayout& layout)
  {
    WriteBytes(source_, BuildDct(layout, wav_));
    LDCTDecode op(source_.c_str(), out_.c_str());
    return Process(progress_, op);
  }
  TempDir dir_;
  std::vector<unsigned char> wav_;
  std::string source_ = dir_ / "memo.dct";
  std::string out_ = dir_ / "out.wav";
  TestProgress progress_;
};

} // namespace

TEST_F(Dct, EveryVersionUnwrapsTheWaveFile)
{
  for (uint16_t version : {0, 1, 2, 3}) {
    for (uint32_t flags : {0u, 4u, 2u}) {
      if (flags == 2 && version > 1) {
        continue; // encrypted
      }
      DctLayout layout;
      layout.version = version;
      layout.flags = flags;
      layout.attachments = {{"a.doc", 10, 10}, {"", 0, 0}};
      progress_ = TestProgress();
      ASSERT_EQ(Convert(layout), 0) << version << " " << flags;
      EXPECT_EQ(ReadBytes(out_), wav_) << version << " " << flags;
      EXPECT_TRUE(progress_.errors.empty());
    }
  }
  EXPECT_EQ(progress_.status1, std::vector<std::string>{"Loading DCT File"});
  EXPECT_EQ(progress_.status2, std::vector<std::string>{source_});
  // 0, 0.03, 0.06, 0.1, then the copy up to 1 in 32768-byte blocks.
  ASSERT_GE(progress_.progress.size(), 6u);
  EXPECT_EQ(std::vector<double>(progress_.progress.begin(), progress_.progress.begin() + 4),
            (std::vector<double>{0, 0.03, 0.06, 0.1}));
  EXPECT_DOUBLE_EQ(progress_.progress.back(), 1.0);
  EXPECT_EQ(progress_.progress.size(), 4 + (wav_.size() + 32767) / 32768);
  LSoundSource s = LWaveFile::OpenSource(out_.c_str());
  EXPECT_TRUE(s.IsOpen());
  EXPECT_EQ(s.GetEndSample(), 4 * 11025);
}

TEST_F(Dct, HeaderFaultsAreShown)
{
  struct Case {
    const char* what;
    DctLayout layout;
    const char* message;
  };
  DctLayout v4;
  v4.version = 4;
  DctLayout sizeLess;
  sizeLess.total = 100;
  DctLayout sizeMore;
  sizeMore.total = 0xFFFFFFFF;
  DctLayout encrypted;
  encrypted.version = 2;
  encrypted.flags = 2;
  DctLayout extra;
  extra.extraLength = 0x7FFFFFFF;
  DctLayout notes;
  notes.notes = 0x10000000;
  DctLayout attachment;
  attachment.flags = 4;
  attachment.attachments = {{"ok", 3, 3}, {"big", 0x10000000, 0}};
  DctLayout zero;
  zero.channels = 0;
  Case cases[] = {
      {"version 4", v4, "DCT File load error"},
      {"size below", sizeLess, "DCT File is corrupt"},
      {"size above", sizeMore, "DCT File is corrupt"},
      {"encrypted", encrypted, "You cannot load encrypted files with this software."},
      {"extra block", extra, "DCT File is corrupt"},
      {"notes", notes, "Unable to load dct file because of file corruption (notes error)."},
      {"attachment", attachment, "Unable to load dct file because of file corruption (attachment too large)."},
      {"channels", zero,
       "Unable to load dct file because of file corruption (zero channels error). Please ask the dictator to send it "
       "again."},
  };
  for (const Case& c : cases) {
    progress_ = TestProgress();
    EXPECT_EQ(Convert(c.layout), 2) << c.what;
    ASSERT_EQ(progress_.errors.size(), 1u) << c.what;
    EXPECT_EQ(progress_.errors[0].rfind(c.message, 0), 0u) << c.what << ": " << progress_.errors[0];
  }
}

TEST_F(Dct, StopsMissingFilesAndCutFiles)
{
  progress_.stop = true;
  EXPECT_EQ(Convert(DctLayout()), 1);
  progress_ = TestProgress();
  std::string missing = dir_ / "missing.dct";
  LDCTDecode op(missing.c_str(), out_.c_str());
  EXPECT_EQ(Process(progress_, op), 2);
  EXPECT_TRUE(progress_.errors.empty());

  // Every cut of a header whose size field tells the truth about the cut
  // file ends in a refusal or in a WAV that is shorter, never a crash.
  std::vector<unsigned char> whole = BuildDct(DctLayout(), {});
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    std::vector<unsigned char> part(whole.begin(), whole.begin() + static_cast<long>(cut));
    if (cut >= 6) {
      for (int i = 0; i < 4; ++i) {
        part[2 + i] = static_cast<unsigned char>(cut >> (8 * i));
      }
    }
    WriteBytes(source_, part);
    progress_ = TestProgress();
    LDCTDecode cutOp(source_.c_str(), out_.c_str());
    int r = Process(progress_, cutOp);
    EXPECT_TRUE(r == 0 || r == 2) << cut;
    if (r == 0) {
      EXPECT_EQ(ReadBytes(out_).size(), 0u) << cut;
    }
  }
}

TEST(PcDart, WrapsTheAudioAndTheWaveReaderRefusesIt)
{
  TempDir dir;
  std::string source = dir / "memo.dart";
  std::string out = dir / "out.wav";
  std::vector<unsigned char> bytes(1024 + 5000);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(i * 13);
  }
  WriteBytes(source, bytes);
  TestProgress progress;
  LPCDartDecode op(source.c_str(), out.c_str());
  ASSERT_EQ(Process(progress, op), 0);
  EXPECT_EQ(progress.status1, std::vector<std::string>{"Loading Dart File"});
  std::vector<unsigned char> wav = ReadBytes(out);
  ASSERT_EQ(wav.size(), 78u + 5000u);
  std::vector<unsigned char> header;
  PutText(header, "RIFF");
  PutLE(header, 6024, 4);
  PutText(header, "WAVEfmt ");
  for (auto [value, size] : std::initializer_list<std::pair<uint32_t, int>>{
           {50, 4}, {34, 2}, {1, 2}, {8000, 4}, {1067, 4}, {32, 2}, {1, 2}, {32, 2}, {1, 2}, {240, 2}}) {
    PutLE(header, value, size);
  }
  header.insert(header.end(), 28, 0);
  PutText(header, "data");
  PutLE(header, 6024 - 78, 4);
  EXPECT_EQ(std::vector<unsigned char>(wav.begin(), wav.begin() + 78), header);
  EXPECT_EQ(std::vector<unsigned char>(wav.begin() + 78, wav.end()),
            std::vector<unsigned char>(bytes.begin() + 1024, bytes.end()));
  EXPECT_EQ(LWaveFile::OpenSource(out.c_str()).GetErrorCode(), kFileErrorEncoding);

  // A file shorter than its own header: no audio, no wrapped size.
  WriteBytes(source, std::vector<unsigned char>(40, 1));
  ASSERT_EQ(Process(progress, op), 0);
  wav = ReadBytes(out);
  ASSERT_EQ(wav.size(), 78u);
  EXPECT_EQ(std::vector<unsigned char>(wav.begin() + 74, wav.end()), (std::vector<unsigned char>{0, 0, 0, 0}));

  progress.stop = true;
  EXPECT_EQ(Process(progress, op), 1);
  std::string missing = dir / "missing.dart";
  LPCDartDecode none(missing.c_str(), out.c_str());
  EXPECT_EQ(Process(progress, none), 2);
}
