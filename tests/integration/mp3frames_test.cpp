// The listener load client's MP3 frame checker, on files made by ffmpeg and
// checked against ffprobe's own frame count, and on the same files torn, cut
// short, started mid-frame or spliced with a foreign frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../../bench/mp3frames.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct PipeCloser {
  void operator()(FILE* f) const { pclose(f); }
};

std::string Run(const std::string& command) {
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  std::string out;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof(buffer), pipe.get()))
    out += buffer;
  return out;
}

// A 2-second stereo sine tone; ffmpeg writes an ID3v2 tag and an Info frame first.
struct Mp3File {
  Bytes bytes;
  long packets = 0;  // audio frames as ffprobe counts them (the Info frame excluded)
};

Mp3File MakeMp3(int sampleRate, int kbps) {
  const std::string path = "/tmp/tone" + std::to_string(sampleRate) + ".mp3";
  const std::string make = "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=" +
                           std::to_string(sampleRate) + ":duration=2 -ac 2 -c:a libmp3lame -b:a " +
                           std::to_string(kbps) + "k " + path;
  Mp3File file;
  if (std::system(make.c_str()) != 0)
    return file;
  std::ifstream in(path, std::ios::binary);
  file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  file.packets = std::atol(
    Run("ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " + path).c_str());
  return file;
}

struct Checked {
  uint64_t frames, faults, leading, lost;
  bool synced, aligned, tail;
  bool operator==(const Checked&) const = default;
};

Checked Check(const Bytes& bytes, size_t piece) {
  LMp3FrameChecker c;
  for (size_t at = 0; at < bytes.size(); at += piece)
    c.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
  return {c.Frames(), c.Faults(), c.LeadingBytes(), c.LostBytes(), c.Synced(), c.Aligned(), c.TailIncomplete()};
}

// The same verdict whatever pieces the network delivers the bytes in.
Checked CheckInPieces(const Bytes& bytes) {
  const Checked whole = Check(bytes, bytes.size());
  for (size_t piece : {1, 3, 7, 1000})
    EXPECT_EQ(Check(bytes, piece), whole) << "fed in pieces of " << piece;
  return whole;
}

// Offset of the first frame header after ffmpeg's ID3v2 tag.
size_t AudioStart(const Bytes& b) {
  return 10 + ((size_t(b[6]) << 21) | (size_t(b[7]) << 14) | (size_t(b[8]) << 7) | size_t(b[9]));
}

// Offset of frame number index (0 = the Info frame), walking the headers.
size_t FrameOffset(const Bytes& b, int index) {
  size_t at = AudioStart(b);
  for (int i = 0; i < index; ++i) {
    LMp3FrameHeader h;
    if (!LMp3ParseFrameHeader(&b[at], h))
      return 0;
    at += size_t(h.length);
  }
  return at;
}

TEST(Mp3FrameHeader, LengthsOfEveryVersionWithAndWithoutPadding) {
  struct Row {
    unsigned char bytes[4];
    int version, sampleRate, bitRate, length;
  };
  const Row rows[] = {
    {{0xFF, 0xFB, 0x40, 0xC4}, 3, 44100, 56, 182},   // the streams' own format
    {{0xFF, 0xFB, 0x42, 0xC4}, 3, 44100, 56, 183},   // padded
    {{0xFF, 0xFB, 0x94, 0x00}, 3, 48000, 128, 384},
    {{0xFF, 0xFA, 0xEA, 0x00}, 3, 32000, 320, 1441},  // largest frame; CRC bit clear
    {{0xFF, 0xF3, 0x84, 0x00}, 2, 24000, 64, 192},
    {{0xFF, 0xF3, 0xE2, 0x00}, 2, 22050, 160, 523},
    {{0xFF, 0xE3, 0x1A, 0x00}, 0, 8000, 8, 73},
    {{0xFF, 0xE3, 0x50, 0x00}, 0, 11025, 40, 261},
  };
  for (const Row& r : rows) {
    LMp3FrameHeader h;
    ASSERT_TRUE(LMp3ParseFrameHeader(r.bytes, h)) << r.length;
    EXPECT_EQ(h.version, r.version);
    EXPECT_EQ(h.sampleRate, r.sampleRate);
    EXPECT_EQ(h.bitRate, r.bitRate);
    EXPECT_EQ(h.length, r.length);
  }

  const unsigned char refused[][4] = {
    {0xFF, 0x7B, 0x40, 0x00},  // sync one bit short
    {0xFE, 0xFB, 0x40, 0x00},
    {0xFF, 0xEB, 0x40, 0x00},  // reserved version
    {0xFF, 0xFD, 0x40, 0x00},  // Layer II
    {0xFF, 0xFF, 0x40, 0x00},  // Layer I
    {0xFF, 0xF9, 0x40, 0x00},  // reserved layer
    {0xFF, 0xFB, 0x00, 0x00},  // free format: no length in the header
    {0xFF, 0xFB, 0xF0, 0x00},  // bit-rate index 15
    {0xFF, 0xFB, 0x4C, 0x00},  // reserved sample rate
  };
  for (const auto& bytes : refused) {
    LMp3FrameHeader h;
    EXPECT_FALSE(LMp3ParseFrameHeader(bytes, h)) << std::hex << int(bytes[1]) << ' ' << int(bytes[2]);
  }
}

TEST(Mp3FrameChecker, FfmpegFilesOfEveryVersionFollowWhole) {
  for (int rate : {44100, 22050, 11025}) {
    SCOPED_TRACE(rate);
    const Mp3File file = MakeMp3(rate, 32);
    ASSERT_GT(file.packets, 10);
    const Checked c = CheckInPieces(file.bytes);
    EXPECT_EQ(c.frames, uint64_t(file.packets) + 1);  // ffprobe skips the Info frame
    EXPECT_EQ(c.faults, 0u);
    EXPECT_TRUE(c.aligned);
    EXPECT_EQ(c.leading, 0u);
    EXPECT_FALSE(c.tail);
  }
}

TEST(Mp3FrameChecker, TornOrForeignFrameIsOneFaultAndSyncResumes) {
  const Mp3File file = MakeMp3(44100, 56);
  ASSERT_GT(file.packets, 40);
  const uint64_t all = uint64_t(file.packets) + 1;

  Bytes torn = file.bytes;  // 50 bytes lost from the middle of frame 20
  const size_t at = FrameOffset(torn, 20) + 60;
  torn.erase(torn.begin() + long(at), torn.begin() + long(at) + 50);
  Checked c = CheckInPieces(torn);
  EXPECT_EQ(c.faults, 1u);
  EXPECT_GT(c.lost, 0u);
  EXPECT_GE(c.frames, all - 2);
  EXPECT_LT(c.frames, all);
  EXPECT_FALSE(c.tail);

  // A correctly sized MPEG-2 frame in an MPEG-1 stream keeps the boundaries
  // in step but is not this stream's frame.
  Bytes spliced = file.bytes;
  Bytes foreign(192, 0);
  const unsigned char header[4] = {0xFF, 0xF3, 0x84, 0x00};
  std::copy(header, header + 4, foreign.begin());
  spliced.insert(spliced.begin() + long(FrameOffset(spliced, 30)), foreign.begin(), foreign.end());
  c = CheckInPieces(spliced);
  EXPECT_EQ(c.faults, 1u);
  EXPECT_EQ(c.lost, 192u);  // exactly the foreign frame
  EXPECT_EQ(c.frames, all);
}

TEST(Mp3FrameChecker, CutShortInsideAFrameLeavesAnIncompleteTail) {
  const Mp3File file = MakeMp3(44100, 56);
  const size_t frame10 = FrameOffset(file.bytes, 10);
  ASSERT_GT(frame10, 0u);

  const Bytes atBoundary(file.bytes.begin(), file.bytes.begin() + long(frame10));
  Checked c = CheckInPieces(atBoundary);
  EXPECT_EQ(c.frames, 10u);
  EXPECT_FALSE(c.tail);

  for (size_t into : {size_t(2), size_t(100)}) {  // inside the header, inside the body
    const Bytes cut(file.bytes.begin(), file.bytes.begin() + long(frame10 + into));
    c = CheckInPieces(cut);
    EXPECT_EQ(c.faults, 0u) << into;
    EXPECT_TRUE(c.tail) << into;
  }
}

TEST(Mp3FrameChecker, StreamJoinedMidFrameIsUnalignedNotFaulty) {
  const Mp3File file = MakeMp3(44100, 56);
  const size_t frame5 = FrameOffset(file.bytes, 5);
  const size_t frame6 = FrameOffset(file.bytes, 6);
  const Bytes joined(file.bytes.begin() + long(frame5 + 100), file.bytes.end());
  const Checked c = CheckInPieces(joined);
  EXPECT_TRUE(c.synced);
  EXPECT_FALSE(c.aligned);
  EXPECT_EQ(c.leading, frame6 - frame5 - 100);
  EXPECT_EQ(c.faults, 0u);
  EXPECT_EQ(c.frames, uint64_t(file.packets) + 1 - 6);

  // Text or silence never passes for MP3.
  const std::string page = "<html><body>Not found</body></html>\r\n";
  Bytes notMp3(page.begin(), page.end());
  notMp3.resize(8192, 0);
  EXPECT_FALSE(CheckInPieces(notMp3).synced);
}

}  // namespace
