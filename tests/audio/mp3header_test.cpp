#include <gtest/gtest.h>

#include <string>

#include "audio/mp3header.h"

namespace {

TEST(MP3Header, RefusesWhatIsNotAUsableHeader)
{
  const unsigned char refused[][4] = {
      {0xFF, 0xDB, 0x90, 0x00},  // second byte below 0xE0
      {0xFF, 0xEB, 0x90, 0x00},  // reserved version
      {0xFF, 0xFD, 0x90, 0x00},  // layer II
      {0xFF, 0xFB, 0x00, 0x00},  // free format
      {0xFF, 0xFB, 0xF0, 0x00},  // bit-rate index 15
      {0xFF, 0xFB, 0x9C, 0x00},  // sample-rate index 3
  };
  for (const auto& b : refused) {
    MP3Header h;
    EXPECT_FALSE(h.Parse(b)) << int(b[1]) << " " << int(b[2]);
  }
  const unsigned char smallest[4] = {0xFF, 0xE3, 0x18, 0x00};
  MP3Header h;
  ASSERT_TRUE(h.Parse(smallest));
  EXPECT_EQ(h.GetFrameLength(), 72);
}

// 48 kbps mono MPEG-1 at 44.1 kHz: 156 bytes a frame.
std::string Frame(int length = 156)
{
  std::string frame(static_cast<size_t>(length), '\x11');
  frame.replace(0, 4, "\xFF\xFB\x30\xC0");
  return frame;
}

TEST(MP3WholeFrames, HoldsBackOnlyATornFrameOrAHeaderStillToCome)
{
  const std::string frame = Frame();
  const struct {
    std::string bytes;
    size_t whole;
  } cases[] = {
      {"", 0},
      {frame, 156},
      {frame + frame, 312},
      {frame + frame.substr(0, 155), 156},  // the second frame torn one byte short
      {frame + "\xFF", 156},                // a header's first byte
      {frame + "\xFF\xFB\x30", 156},
      {"abc\xFF\x10xyz" + frame, 164},  // bytes that are no header pass alone
      {"abc\xFF\x10", 3},               // held until the next bytes show it is no header
      {"ab\xFF", 2},
      {std::string(2048, '\x22'), 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    EXPECT_EQ(
        MP3WholeFramesLength(reinterpret_cast<const unsigned char*>(c.bytes.data()), static_cast<int>(c.bytes.size())),
        static_cast<int>(c.whole));
  }
}

}  // namespace
