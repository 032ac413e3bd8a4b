// The frame decoder against the reference decoder, over a corpus made by the real encoders.

#include <gtest/gtest.h>

#include "sound/mp3framedecoder.h"
#include "sound/mp3header.h"
#include "sound/mp3testutil.h"

namespace {

using mp3test::Pcm;

// Walks the frames of a memory image the simple way (next header right after each frame) and decodes
// them with one decoder.
Pcm DecodeImage(const std::vector<unsigned char>& data, int* framesSkipped = nullptr)
{
    Pcm pcm;
    MP3FrameDecoder decoder;
    MP3Header first;
    bool configured = false;
    std::vector<int> out(1152 * 2);
    unsigned char side[36];
    size_t pos = 0;
    int skipped = 0;
    while (pos + 4 <= data.size()) {
        MP3Header h;
        if (!h.Parse(&data[pos])) {
            pos++;
            continue;
        }
        size_t frameEnd = pos + h.GetFrameLength();
        if (frameEnd > data.size())
            break;
        if (!configured) {
            first = h;
            decoder.Configure(h);
            pcm.rate = h.GetSampleRate();
            pcm.channels = h.GetChannels();
            configured = true;
        }
        size_t sideAt = pos + 4 + h.GetCrcLength();
        std::memset(side, 0, sizeof(side));
        std::memcpy(side, &data[sideAt], h.GetSideInfoLength());
        size_t mainAt = sideAt + h.GetSideInfoLength();
        if (decoder.DecodeFrame(h, side, &data[mainAt], h.GetMainDataLength(), out.data()))
            pcm.samples.insert(pcm.samples.end(), out.begin(), out.begin() + h.GetSamplesPerFrame() * h.GetChannels());
        else
            skipped++;
        pos = frameEnd;
    }
    if (framesSkipped)
        *framesSkipped = skipped;
    return pcm;
}

struct Encoding
{
    const char* name;
    int inputRate;
    int inputChannels;
    const char* encoder;  // command with %IN% and %OUT%
};

std::string Expand(std::string cmd, const std::string& in, const std::string& out)
{
    cmd.replace(cmd.find("%IN%"), 4, "'" + in + "'");
    cmd.replace(cmd.find("%OUT%"), 5, "'" + out + "'");
    return cmd;
}

class CorpusTest : public ::testing::TestWithParam<Encoding>
{
};

TEST_P(CorpusTest, MatchesReferenceDecoder)
{
    const Encoding& e = GetParam();
    mp3test::TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    std::string wav = dir.File("in.wav");
    std::string mp3 = dir.File("out.mp3");
    mp3test::WriteTestWav(wav, e.inputRate, e.inputChannels, 6.0);
    ASSERT_TRUE(mp3test::Run(Expand(e.encoder, wav, mp3))) << e.encoder;

    Pcm ref = mp3test::ReferenceDecode(mp3);
    ASSERT_GT(ref.Frames(), 0u);
    int skipped = 0;
    Pcm ours = DecodeImage(mp3test::ReadAll(mp3), &skipped);
    EXPECT_EQ(skipped, 0);
    ASSERT_EQ(ours.rate, ref.rate);
    ASSERT_EQ(ours.channels, ref.channels);
    int spf = ours.rate >= 32000 ? 1152 : 576;
    mp3test::Comparison c = mp3test::Compare(ours, ref, spf);
    EXPECT_GE(c.snr, 80.0) << e.name << " lag " << c.lag;
    std::printf("%-26s SNR %.1f dB, lag %ld, frames %zu vs %zu\n", e.name, c.snr, c.lag, ours.Frames(), ref.Frames());
    EXPECT_LE(std::labs((long)ours.Frames() - (long)ref.Frames()), (long)spf) << e.name;
}

const Encoding kCorpus[] = {
    {"mpeg1_44k_128_joint", 44100, 2, "lame --quiet -b 128 -m j %IN% %OUT%"},
    {"mpeg1_44k_32_stereo", 44100, 2, "lame --quiet --resample 44.1 -b 32 -m s %IN% %OUT%"},
    {"mpeg1_44k_320_stereo", 44100, 2, "lame --quiet -b 320 -m s %IN% %OUT%"},
    {"mpeg1_48k_192_forced_ms", 48000, 2, "lame --quiet -b 192 -m f %IN% %OUT%"},
    {"mpeg1_32k_64_mono", 32000, 1, "lame --quiet --resample 32 -b 64 -m m %IN% %OUT%"},
    {"mpeg1_32k_256_joint", 32000, 2, "lame --quiet -b 256 -m j %IN% %OUT%"},
    {"mpeg1_44k_vbr_xing", 44100, 2, "lame --quiet -V 2 %IN% %OUT%"},
    {"mpeg1_48k_vbr_mono", 48000, 1, "lame --quiet -V 5 -m m %IN% %OUT%"},
    {"mpeg2_22k_64_joint", 22050, 2, "lame --quiet --resample 22.05 -b 64 -m j %IN% %OUT%"},
    {"mpeg2_24k_96_stereo", 24000, 2, "lame --quiet --resample 24 -b 96 -m s %IN% %OUT%"},
    {"mpeg2_16k_32_mono", 16000, 1, "lame --quiet --resample 16 -b 32 -m m %IN% %OUT%"},
    {"mpeg25_8k_16_mono", 8000, 1, "lame --quiet --resample 8 -b 16 -m m %IN% %OUT%"},
    {"mpeg25_11k_32_joint", 11025, 2, "lame --quiet --resample 11.025 -b 32 -m j %IN% %OUT%"},
    {"mpeg25_12k_24_stereo", 12000, 2, "lame --quiet --resample 12 -b 24 -m s %IN% %OUT%"},
    {"ffmpeg_44k_160", 44100, 2, "ffmpeg -v error -y -i %IN% -c:a libmp3lame -b:a 160k %OUT%"},
    {"ffmpeg_48k_vbr", 48000, 2, "ffmpeg -v error -y -i %IN% -c:a libmp3lame -q:a 4 %OUT%"},
};

INSTANTIATE_TEST_SUITE_P(Encoders, CorpusTest, ::testing::ValuesIn(kCorpus),
                         [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

}  // namespace
