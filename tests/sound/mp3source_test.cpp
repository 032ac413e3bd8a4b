// The MP3 reader as a sound source: opening, the length from VBR frames and from the estimate,
// reading in any block size, seeking with pre-roll, foreign frames and damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sound/mp3.h"
#include "sound/mp3header.h"
#include "sound/mp3testutil.h"

namespace {

using mp3test::Pcm;

// Reads the whole source in blocks of `block` frames, until the position passes the end.
Pcm ReadAllFrom(LSoundSource& s, int block)
{
    Pcm pcm;
    pcm.rate = s.GetSampleRate();
    pcm.channels = s.GetChannels();
    std::vector<int> buf((size_t)block * pcm.channels);
    for (int guard = 0; guard < 100000000 / block; guard++) {
        int pos = s.GetPositionSample();
        int n = s.Read(buf.data(), block);
        EXPECT_GE(n, 0);
        EXPECT_LE(n, block);
        EXPECT_EQ(s.GetPositionSample(), pos + block) << "every Read advances by the frames asked";
        pcm.samples.insert(pcm.samples.end(), buf.begin(), buf.begin() + (size_t)n * pcm.channels);
        for (size_t i = (size_t)n * pcm.channels; i < buf.size(); i++)
            EXPECT_EQ(buf[i], 0) << "frames past the end are silence";
        if (n < block)
            break;
    }
    return pcm;
}

Pcm ReadAll(const std::string& path, int block = 4096)
{
    LSoundSource s = LMP3File::OpenSource(path.c_str());
    EXPECT_TRUE(s.IsOpen()) << path;
    Pcm pcm = ReadAllFrom(s, block);
    EXPECT_EQ((size_t)s.GetEndSample(), pcm.Frames()) << "after the last frame the end is what was delivered";
    return pcm;
}

// Splits a file's bytes into its frames (header to header).
std::vector<std::vector<unsigned char>> Frames(const std::vector<unsigned char>& data)
{
    std::vector<std::vector<unsigned char>> frames;
    size_t pos = 0;
    while (pos + 4 <= data.size()) {
        MP3Header h;
        if (!h.Parse(&data[pos])) {
            pos++;
            continue;
        }
        size_t end = pos + h.GetFrameLength();
        if (end > data.size())
            break;
        frames.emplace_back(data.begin() + pos, data.begin() + end);
        pos = end;
    }
    return frames;
}

std::vector<unsigned char> Join(const std::vector<std::vector<unsigned char>>& frames, size_t from, size_t to)
{
    std::vector<unsigned char> out;
    for (size_t i = from; i < to && i < frames.size(); i++)
        out.insert(out.end(), frames[i].begin(), frames[i].end());
    return out;
}

class MP3SourceTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        sDir = new mp3test::TempDir();
        mp3test::WriteTestWav(sDir->File("44.wav"), 44100, 2, 12.0);
        mp3test::WriteTestWav(sDir->File("48.wav"), 48000, 2, 2.0);
        mp3test::WriteTestWav(sDir->File("22.wav"), 22050, 1, 4.0);
        ASSERT_TRUE(mp3test::Run("lame --quiet -b 128 '" + sDir->File("44.wav") + "' '" + Path("cbr.mp3") + "'"));
        ASSERT_TRUE(mp3test::Run("lame --quiet -V 2 '" + sDir->File("44.wav") + "' '" + Path("vbr.mp3") + "'"));
        ASSERT_TRUE(mp3test::Run("lame --quiet -b 128 '" + sDir->File("48.wav") + "' '" + Path("48.mp3") + "'"));
        ASSERT_TRUE(mp3test::Run("lame --quiet --resample 22.05 -b 32 -m m '" + sDir->File("22.wav") + "' '"
                                 + Path("22.mp3") + "'"));
    }
    static void TearDownTestSuite()
    {
        delete sDir;
        sDir = nullptr;
    }
    static std::string Path(const std::string& name) { return sDir->File(name); }

    static mp3test::TempDir* sDir;
};

mp3test::TempDir* MP3SourceTest::sDir = nullptr;

TEST_F(MP3SourceTest, OpenFailuresCarryTheirErrorCodes)
{
    EXPECT_EQ(LMP3File::OpenSource(Path("missing.mp3").c_str()).GetErrorCode(), 4);
    ASSERT_TRUE(mp3test::WriteAll(Path("empty.mp3"), {}));
    EXPECT_EQ(LMP3File::OpenSource(Path("empty.mp3").c_str()).GetErrorCode(), 3);
    ASSERT_TRUE(mp3test::WriteAll(Path("text.mp3"), std::vector<unsigned char>(3000, 'x')));
    LSoundSource text = LMP3File::OpenSource(Path("text.mp3").c_str());
    EXPECT_EQ(text.GetErrorCode(), 3);
    std::vector<int> buf(100, 7);
    EXPECT_EQ(text.Read(buf.data(), 50), 0);
    EXPECT_EQ(buf[49], 0) << "a source in error reads silence";
    EXPECT_EQ(buf[50], 7);

    // More than 65535 bytes of non-header data before the first frame: error 3.
    std::vector<unsigned char> mp3 = mp3test::ReadAll(Path("cbr.mp3"));
    std::vector<unsigned char> junk(65536 + 4, 0x20);
    junk.insert(junk.end(), mp3.begin(), mp3.end());
    ASSERT_TRUE(mp3test::WriteAll(Path("junk.mp3"), junk));
    EXPECT_EQ(LMP3File::OpenSource(Path("junk.mp3").c_str()).GetErrorCode(), 3);
}

TEST_F(MP3SourceTest, LeadingTagOrZerosAreSkipped)
{
    std::vector<unsigned char> mp3 = mp3test::ReadAll(Path("cbr.mp3"));
    Pcm plain = ReadAll(Path("cbr.mp3"));

    // An ID3v2 tag of 10 kB (10 header bytes and a synchsafe size of 10230).
    std::vector<unsigned char> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x4F, 0x76};
    tag.resize(10240, 0);
    std::vector<unsigned char> tagged = tag;
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    ASSERT_TRUE(mp3test::WriteAll(Path("id3.mp3"), tagged));
    std::vector<unsigned char> zeros(10240, 0);
    zeros.insert(zeros.end(), mp3.begin(), mp3.end());
    ASSERT_TRUE(mp3test::WriteAll(Path("zeros.mp3"), zeros));

    for (const char* name : {"id3.mp3", "zeros.mp3"}) {
        Pcm p = ReadAll(Path(name));
        EXPECT_EQ(p.samples, plain.samples) << name;
        // Seeking counts from the first frame, not from the start of the file.
        LSoundSource s = LMP3File::OpenSource(Path(name).c_str());
        s.Seek(200000);
        std::vector<int> buf(2000 * 2);
        ASSERT_EQ(s.Read(buf.data(), 2000), 2000);
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), plain.samples.begin() + 400000)) << name;
    }
}

TEST_F(MP3SourceTest, MatchesTheReferenceDecoder)
{
    for (const char* name : {"cbr.mp3", "vbr.mp3", "48.mp3", "22.mp3"}) {
        Pcm ref = mp3test::ReferenceDecode(Path(name));
        Pcm ours = ReadAll(Path(name), 1000);
        int spf = ours.rate >= 32000 ? 1152 : 576;
        mp3test::Comparison c = mp3test::Compare(ours, ref, spf);
        EXPECT_GE(c.snr, 80.0) << name;
        EXPECT_LE(std::labs((long)ours.Frames() - (long)ref.Frames()), (long)spf) << name;
        std::printf("%-8s SNR %.1f dB, lag %ld, frames %zu vs %zu\n", name, c.snr, c.lag, ours.Frames(), ref.Frames());
    }
}

TEST_F(MP3SourceTest, LowerSampleRatesDecode576FramesPerMP3Frame)
{
    LSoundSource s = LMP3File::OpenSource(Path("22.mp3").c_str());
    ASSERT_TRUE(s.IsOpen());
    EXPECT_EQ(s.GetSampleRate(), 22050);
    EXPECT_EQ(s.GetChannels(), 1);
    EXPECT_EQ(s.GetEndSample() % 576, 0);
    Pcm p = ReadAllFrom(s, 333);
    EXPECT_EQ(p.Frames() % 576, 0u);
    EXPECT_EQ(p.Frames(), Frames(mp3test::ReadAll(Path("22.mp3"))).size() * 576);
}

// The estimates leave out the last 128 bytes (an ID3v1 tag's place); at 32 kbit/s a frame is 104
// bytes, so the last frame lies entirely inside them and must still be read.
TEST_F(MP3SourceTest, LowRateFramesInTheLast128BytesAreRead)
{
    ASSERT_TRUE(mp3test::Run("lame --quiet --resample 44.1 -b 32 -m m '" + sDir->File("22.wav") + "' '"
                             + Path("32k.mp3") + "'"));
    std::vector<unsigned char> data = mp3test::ReadAll(Path("32k.mp3"));
    std::vector<std::vector<unsigned char>> frames = Frames(data);
    ASSERT_LT(frames.back().size(), 128u);
    EXPECT_EQ(ReadAll(Path("32k.mp3")).Frames(), frames.size() * 1152);

    // A single such frame (the first, which needs no earlier bytes): the first estimate counts it.
    ASSERT_TRUE(mp3test::WriteAll(Path("one.mp3"), frames[0]));
    LSoundSource one = LMP3File::OpenSource(Path("one.mp3").c_str());
    EXPECT_EQ(one.GetEndSample(), 1152);
    EXPECT_EQ(ReadAllFrom(one, 1000).Frames(), 1152u);
}

TEST_F(MP3SourceTest, AnyBlockSizeReadsTheSameSamples)
{
    Pcm whole = ReadAll(Path("vbr.mp3"), 8192);
    for (int block : {1, 7, 575, 1152, 1153, 5000}) {
        Pcm p = ReadAll(Path("vbr.mp3"), block);
        ASSERT_EQ(p.samples.size(), whole.samples.size()) << block;
        EXPECT_TRUE(p.samples == whole.samples) << block;
    }
}

TEST_F(MP3SourceTest, XingFrameCountGivesTheEndBeforeDecoding)
{
    std::vector<unsigned char> data = mp3test::ReadAll(Path("vbr.mp3"));
    std::vector<std::vector<unsigned char>> frames = Frames(data);
    MP3Header h;
    ASSERT_TRUE(h.Parse(frames[0].data()));
    size_t at = 4 + h.GetSideInfoLength();
    ASSERT_EQ(std::string(frames[0].begin() + at, frames[0].begin() + at + 4), "Xing");
    unsigned count = frames[0][at + 8] << 24 | frames[0][at + 9] << 16 | frames[0][at + 10] << 8 | frames[0][at + 11];
    EXPECT_EQ(count, frames.size() - 1);

    LSoundSource s = LMP3File::OpenSource(Path("vbr.mp3").c_str());
    EXPECT_EQ(s.GetEndSample(), (int)(count * 1152));
    EXPECT_EQ(s.GetPositionSample(), 0);
    // Decoding starts after the information frame: no leading frame of silence, unlike the CBR file
    // whose "Info" frame is an ordinary (silent) frame.
    mp3test::Comparison c = mp3test::Compare(ReadAllFrom(s, 4096), mp3test::ReferenceDecode(Path("vbr.mp3")), 1152);
    EXPECT_EQ(c.lag, 0);

    // A count of 1000 means 1,152,000 frames, whatever the file holds.
    std::vector<unsigned char> patched = data;
    size_t first = std::search(data.begin(), data.end(), frames[0].begin(), frames[0].end()) - data.begin();
    patched[first + at + 8] = 0, patched[first + at + 9] = 0, patched[first + at + 10] = 0x03, patched[first + at + 11] = 0xE8;
    ASSERT_TRUE(mp3test::WriteAll(Path("xing1000.mp3"), patched));
    LSoundSource s1000 = LMP3File::OpenSource(Path("xing1000.mp3").c_str());
    EXPECT_EQ(s1000.GetEndSample(), 1152000);

    // A count of 0 would divide by zero: the frame is read as an ordinary one.
    patched[first + at + 10] = 0, patched[first + at + 11] = 0;
    ASSERT_TRUE(mp3test::WriteAll(Path("xing0.mp3"), patched));
    LSoundSource s0 = LMP3File::OpenSource(Path("xing0.mp3").c_str());
    ASSERT_TRUE(s0.IsOpen());
    EXPECT_GT(s0.GetEndSample(), 0);
    EXPECT_EQ(ReadAllFrom(s0, 4096).Frames(), frames.size() * 1152);
}

TEST_F(MP3SourceTest, ConstantRateEstimateAndItsRefinement)
{
    // 128 kbit/s at 44100 Hz cut to 1,000,128 bytes: trunc(1,000,000 / 417.96 + 0.9) = 2393 frames.
    mp3test::WriteTestWav(Path("long.wav"), 44100, 2, 63.0);
    ASSERT_TRUE(mp3test::Run("lame --quiet -b 128 '" + Path("long.wav") + "' '" + Path("long.mp3") + "'"));
    std::vector<unsigned char> data = mp3test::ReadAll(Path("long.mp3"));
    ASSERT_GE(data.size(), 1000128u);
    data.resize(1000128);
    ASSERT_TRUE(mp3test::WriteAll(Path("cut.mp3"), data));
    size_t whole = Frames(data).size();

    LSoundSource s = LMP3File::OpenSource(Path("cut.mp3").c_str());
    ASSERT_TRUE(s.IsOpen());
    EXPECT_EQ(s.GetEndSample(), 2756736);
    std::vector<int> buf(8192 * 2);
    int read = 0;
    while (read < 1000000)
        read += s.Read(buf.data(), 8192);
    // Half way the estimate is the frames decoded plus what the remaining bytes hold.
    EXPECT_NEAR(s.GetEndSample(), (int)whole * 1152, 1152 * 2);
    Pcm rest = ReadAllFrom(s, 8192);
    EXPECT_EQ(s.GetEndSample(), (int)(whole * 1152)) << "the end becomes what was decoded";
    EXPECT_EQ((size_t)read + rest.Frames(), whole * 1152);
}

TEST_F(MP3SourceTest, SeekDecodesPrerollAndMatchesALinearRead)
{
    Pcm linear = ReadAll(Path("cbr.mp3"));
    LSoundSource s = LMP3File::OpenSource(Path("cbr.mp3").c_str());
    int end = s.GetEndSample();
    std::vector<int> buf(3000 * 2);
    for (int target : {0, 1, 1151, 1152, 3 * 1152 + 5, 10 * 1152 + 100, 200000, (int)linear.Frames() - 2000}) {
        s.Seek(target);
        EXPECT_EQ(s.GetPositionSample(), target);
        ASSERT_EQ(s.Read(buf.data(), 2000), 2000) << target;
        bool same = std::equal(buf.begin(), buf.begin() + 4000, linear.samples.begin() + (size_t)target * 2);
        EXPECT_TRUE(same) << "seek to " << target;
    }
    // Before frame 0: silence, then the start.
    s.Seek(-500);
    ASSERT_EQ(s.Read(buf.data(), 1500), 1500);
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(buf[i], 0);
    EXPECT_TRUE(std::equal(buf.begin() + 1000, buf.begin() + 3000, linear.samples.begin()));
    // Past the end: silence and 0 frames.
    s.Seek(end + 10);
    EXPECT_EQ(s.Read(buf.data(), 100), 0);
    EXPECT_EQ(s.GetPositionSample(), end + 110);
}

// Found by fuzzing: a seek past the end decoded the last frame while the position stood later, and
// the next end estimate fell below the position (a negative copy length).
TEST_F(MP3SourceTest, SeeksPastTheEndOrIntoMissingFramesReadSilence)
{
    std::vector<int> buf(3000, 1);
    LSoundSource s = LMP3File::OpenSource(Path("22.mp3").c_str());
    Pcm all = ReadAllFrom(s, 2806);
    int end = s.GetEndSample();
    for (int target : {end, end + 1, end + 1330, end + 100000}) {
        s.Seek(target);
        EXPECT_EQ(s.Read(buf.data(), 2806), 0) << target;
        EXPECT_EQ(buf[2805], 0);
        EXPECT_EQ(s.GetEndSample(), end);
    }
    s.Seek(end - 100);
    EXPECT_EQ(s.Read(buf.data(), 2806), 100);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 100, all.samples.end() - 100));

    // A VBR count far beyond the frames the file holds: seeks scale into the file, and one near the
    // claimed end runs out of frames in its pre-roll, which ends the stream before the target.
    std::vector<unsigned char> data = mp3test::ReadAll(Path("vbr.mp3"));
    std::vector<std::vector<unsigned char>> frames = Frames(data);
    MP3Header h;
    ASSERT_TRUE(h.Parse(frames[0].data()));
    size_t at = std::search(data.begin(), data.end(), frames[0].begin(), frames[0].end()) - data.begin()
                + 4 + h.GetSideInfoLength() + 8;
    data[at] = 0, data[at + 1] = 0, data[at + 2] = 0x27, data[at + 3] = 0x10;  // 10000 frames
    ASSERT_TRUE(mp3test::WriteAll(Path("xing10000.mp3"), data));
    LSoundSource v = LMP3File::OpenSource(Path("xing10000.mp3").c_str());
    ASSERT_EQ(v.GetEndSample(), 11520000);
    v.Seek(11515000);
    EXPECT_EQ(v.Read(buf.data(), 1000), 0);
    EXPECT_EQ(buf[999], 0);
    EXPECT_LT(v.GetEndSample(), 11515000);
}

TEST_F(MP3SourceTest, ForeignFramesArePassedOver)
{
    std::vector<std::vector<unsigned char>> a = Frames(mp3test::ReadAll(Path("cbr.mp3")));
    std::vector<std::vector<unsigned char>> b = Frames(mp3test::ReadAll(Path("48.mp3")));
    ASSERT_GT(a.size(), 300u);
    ASSERT_GT(b.size(), 30u);

    // 44100 Hz frames, 5 frames at 48000 Hz, the rest at 44100 Hz: only the 44100 Hz frames count.
    // (Fewer than 11: the search through the foreign frames may also meet false headers in their data.)
    std::vector<unsigned char> mixed = Join(a, 0, 200);
    std::vector<unsigned char> foreign = Join(b, 1, 6);
    mixed.insert(mixed.end(), foreign.begin(), foreign.end());
    std::vector<unsigned char> tail = Join(a, 200, a.size());
    mixed.insert(mixed.end(), tail.begin(), tail.end());
    ASSERT_TRUE(mp3test::WriteAll(Path("mixed.mp3"), mixed));
    Pcm all = ReadAll(Path("cbr.mp3"));
    Pcm m = ReadAll(Path("mixed.mp3"));
    EXPECT_EQ(m.rate, 44100);
    // The reservoir and the filters go on across the foreign run as if it were not there.
    EXPECT_TRUE(m.samples == all.samples);

    // 11 foreign headers in a row end the stream there.
    std::vector<unsigned char> cut = Join(a, 0, 100);
    foreign = Join(b, 1, 25);
    cut.insert(cut.end(), foreign.begin(), foreign.end());
    tail = Join(a, 100, 200);
    cut.insert(cut.end(), tail.begin(), tail.end());
    ASSERT_TRUE(mp3test::WriteAll(Path("cut48.mp3"), cut));
    EXPECT_EQ(ReadAll(Path("cut48.mp3")).Frames(), 100u * 1152);
}

TEST_F(MP3SourceTest, DamagedFilesReadToTheirEndWithoutFault)
{
    std::vector<unsigned char> data = mp3test::ReadAll(Path("vbr.mp3"));
    std::mt19937 rng(1234);
    std::vector<int> buf(4096 * 2);
    for (int round = 0; round < 24; round++) {
        std::vector<unsigned char> d = data;
        if (round % 3 == 0) {
            d.resize(rng() % d.size());
        } else {
            int flips = round % 3 == 1 ? 20 : 2000;
            for (int i = 0; i < flips; i++)
                d[rng() % d.size()] ^= (unsigned char)(1u << (rng() % 8));
        }
        std::string path = Path("damaged.mp3");
        ASSERT_TRUE(mp3test::WriteAll(path, d));
        LSoundSource s = LMP3File::OpenSource(path.c_str());
        if (!s.IsOpen())
            continue;
        Pcm p = ReadAllFrom(s, 4096);
        EXPECT_LE(p.Frames(), (size_t)s.GetEndSample() + 4096);
        // Seeks before, inside and beyond what was read, each followed by reads.
        int span = (int)p.Frames() + 1;
        for (int target : {(int)(rng() % span), span + (int)(rng() % span), -(int)(rng() % 5000)}) {
            s.Seek(target);
            for (int k = 0; k < 3; k++)
                EXPECT_LE(s.Read(buf.data(), 1 + (int)(rng() % 4096)), 4096);
        }
    }
}

}  // namespace
