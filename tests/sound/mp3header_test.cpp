// Frame headers, the header search with its byte limit, and the buffered input file.

#include <gtest/gtest.h>

#include <vector>

#include "sound/mp3header.h"
#include "sound/mp3readfile.h"
#include "sound/mp3testutil.h"

namespace {

MP3Header Parsed(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3, bool* ok = nullptr)
{
    const unsigned char b[4] = {b0, b1, b2, b3};
    MP3Header h;
    bool r = h.Parse(b);
    if (ok)
        *ok = r;
    return h;
}

TEST(MP3HeaderParse, FieldsAndLengthsOfEachVersion)
{
    bool ok;
    // MPEG-1, no CRC, 128 kbit/s, 44100 Hz, padded, joint stereo with mid/side.
    MP3Header h = Parsed(0xFF, 0xFB, 0x92, 0x64, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(h.version, 0);
    EXPECT_EQ(h.protection, 1);
    EXPECT_EQ(h.bitRate, 128000);
    EXPECT_EQ(h.GetSampleRate(), 44100);
    EXPECT_EQ(h.padding, 1);
    EXPECT_EQ(h.channelMode, 1);
    EXPECT_EQ(h.modeExtension, 2);
    EXPECT_EQ(h.GetFrameLength(), 418);
    EXPECT_EQ(h.GetSideInfoLength(), 32);
    EXPECT_EQ(h.GetMainDataLength(), 418 - 4 - 32);
    EXPECT_EQ(h.GetSamplesPerFrame(), 1152);

    // MPEG-2 with CRC, 64 kbit/s, 22050 Hz, mono.
    h = Parsed(0xFF, 0xF2, 0x80, 0xC0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(h.version, 1);
    EXPECT_EQ(h.GetCrcLength(), 2);
    EXPECT_EQ(h.GetSampleRate(), 22050);
    EXPECT_EQ(h.GetFrameLength(), 208);
    EXPECT_EQ(h.GetSideInfoLength(), 9);
    EXPECT_EQ(h.GetMainDataLength(), 208 - 4 - 2 - 9);
    EXPECT_EQ(h.GetSamplesPerFrame(), 576);
    EXPECT_FALSE(h.IsStereo());

    // MPEG-2.5, 8 kbit/s at 8000 Hz (the smallest frame) and 160 kbit/s at 12000 Hz.
    h = Parsed(0xFF, 0xE3, 0x18, 0x00, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(h.version, 2);
    EXPECT_EQ(h.GetSampleRate(), 8000);
    EXPECT_EQ(h.GetFrameLength(), 72);
    EXPECT_EQ(h.GetSideInfoLength(), 17);
    h = Parsed(0xFF, 0xE3, 0xE4, 0x00, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(h.bitRate, 160000);
    EXPECT_EQ(h.GetSampleRate(), 12000);
    EXPECT_EQ(h.GetFrameLength(), 960);
}

TEST(MP3HeaderParse, RefusesWhatIsNotAUsableLayerIIIHeader)
{
    bool ok = true;
    Parsed(0xFE, 0xFB, 0x90, 0x00, &ok);
    EXPECT_FALSE(ok) << "first byte not 0xFF";
    Parsed(0xFF, 0xDB, 0x90, 0x00, &ok);
    EXPECT_FALSE(ok) << "second byte below 0xE0";
    Parsed(0xFF, 0xEB, 0x90, 0x00, &ok);
    EXPECT_FALSE(ok) << "reserved version";
    Parsed(0xFF, 0xFD, 0x90, 0x00, &ok);
    EXPECT_FALSE(ok) << "layer II";
    Parsed(0xFF, 0xFF, 0x90, 0x00, &ok);
    EXPECT_FALSE(ok) << "layer I";
    Parsed(0xFF, 0xFB, 0x00, 0x00, &ok);
    EXPECT_FALSE(ok) << "free format (bit-rate index 0)";
    Parsed(0xFF, 0xFB, 0xF0, 0x00, &ok);
    EXPECT_FALSE(ok) << "bit-rate index 15";
    Parsed(0xFF, 0xFB, 0x9C, 0x00, &ok);
    EXPECT_FALSE(ok) << "sample-rate index 3";
}

class HeaderSearch : public ::testing::Test
{
protected:
    // Writes `garbage` bytes of 0xFF (which never form a header: layer bits 11) before one frame
    // header with a CRC word, and searches the file from its start.
    bool Search(size_t garbage, long long* after = nullptr)
    {
        std::vector<unsigned char> data(garbage, 0xFF);
        const unsigned char head[6] = {0xFF, 0xFA, 0x90, 0x00, 0xAB, 0xCD};
        data.insert(data.end(), head, head + 6);
        data.resize(data.size() + 100, 0);
        std::string path = mDir.File("search.bin");
        EXPECT_TRUE(mp3test::WriteAll(path, data));
        MP3ReadFile file(path.c_str());
        EXPECT_TRUE(file.IsOpen());
        MP3Header h;
        bool found = h.ReadHeader(file);
        if (after)
            *after = file.Tell();
        return found;
    }
    mp3test::TempDir mDir;
};

TEST_F(HeaderSearch, FindsAHeaderAfterAtMost65535ExtraBytes)
{
    long long after = 0;
    EXPECT_TRUE(Search(0, &after));
    EXPECT_EQ(after, 6) << "the CRC word is read past";
    EXPECT_TRUE(Search(1000, &after));
    EXPECT_EQ(after, 1006);
    EXPECT_TRUE(Search(65535, &after));
    EXPECT_EQ(after, 65535 + 6);
    EXPECT_FALSE(Search(65536));
}

TEST_F(HeaderSearch, EndsAtTheEndOfTheFile)
{
    std::string path = mDir.File("short.bin");
    ASSERT_TRUE(mp3test::WriteAll(path, {0xFF, 0xFB, 0x90}));
    MP3ReadFile file(path.c_str());
    MP3Header h;
    EXPECT_FALSE(h.ReadHeader(file)) << "fewer than 4 bytes";
    ASSERT_TRUE(mp3test::WriteAll(path, std::vector<unsigned char>(5000, 0)));
    MP3ReadFile zeros(path.c_str());
    EXPECT_FALSE(h.ReadHeader(zeros));
}

TEST(MP3ReadFileTest, ReadsAcrossItsBufferAndSeeksBothWays)
{
    mp3test::TempDir dir;
    std::vector<unsigned char> data(100000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (unsigned char)(i * 7 + i / 256);
    std::string path = dir.File("data.bin");
    ASSERT_TRUE(mp3test::WriteAll(path, data));
    MP3ReadFile f(path.c_str());
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.GetSize(), 100000);
    EXPECT_EQ(f.GetLength(), 100000 - 128);

    std::vector<unsigned char> got(40000);
    f.Seek(30000);
    ASSERT_EQ(f.Read(got.data(), 40000), 40000);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + 30000));
    EXPECT_EQ(f.GetBytesToEnd(), 100000 - 128 - 70000);
    f.Seek(10);
    EXPECT_EQ(f.ReadByte(), data[10]);
    f.Skip(32767);
    EXPECT_EQ(f.ReadByte(), data[32778]);
    f.Seek(99990);
    EXPECT_EQ(f.Read(got.data(), 100), 10) << "reads stop at the end";
    EXPECT_EQ(f.ReadByte(), -1);
    EXPECT_LT(f.GetBytesToEnd(), 0) << "reading into the last 128 bytes makes it negative";
    f.Seek(200000);
    EXPECT_EQ(f.ReadByte(), -1);
}

TEST(MP3ReadFileTest, SmallAndMissingFiles)
{
    mp3test::TempDir dir;
    std::string path = dir.File("tiny.bin");
    ASSERT_TRUE(mp3test::WriteAll(path, std::vector<unsigned char>(100, 1)));
    MP3ReadFile tiny(path.c_str());
    EXPECT_EQ(tiny.GetLength(), 0) << "the estimate length never goes below 0";
    MP3ReadFile missing(dir.File("none.mp3").c_str());
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.ReadByte(), -1);
}

}  // namespace
