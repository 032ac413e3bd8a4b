// Hand-built frames with the features no available encoder produces (mixed blocks, intensity
// stereo in MPEG-1 and MPEG-2), decoded by the frame decoder and compared with the standard's
// equations evaluated literally (mp3reference.h).

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "sound/mp3framedecoder.h"
#include "sound/mp3header.h"
#include "sound/mp3reference.h"
#include "sound/mp3tables.h"

namespace {

using mp3ref::BitWriter;

struct GranuleBits
{
    std::vector<int> lines = std::vector<int>(576, 0);  // -1, 0 or 1, in coded order
    int globalGain = 214;
    int scalefacCompress = 0;
    int windowSwitching = 0;
    int blockType = 0;
    int mixed = 0;
    int subblockGain[3] = {0, 0, 0};
    int preflag = 0;
    int scalefacScale = 0;
    std::vector<std::pair<unsigned, int>> scalefactors;  // (value, bits) in stream order
};

struct Frame
{
    MP3Header header;
    std::vector<unsigned char> bytes;
};

// Builds a frame from its 4 header bytes and up to 2 granules × 2 channels; main_data_begin is 0.
Frame BuildFrame(const unsigned char head[4], GranuleBits granules[2][2])
{
    Frame f;
    EXPECT_TRUE(f.header.Parse(head));
    const MP3Header& h = f.header;
    bool mpeg1 = h.version == 0;
    int channels = h.GetChannels();

    BitWriter main;
    int part23[2][2] = {};
    for (int gr = 0; gr < h.GetGranules(); gr++)
        for (int ch = 0; ch < channels; ch++) {
            int start = main.Bits();
            for (auto& sf : granules[gr][ch].scalefactors)
                main.Put(sf.first, sf.second);
            mp3ref::PutCount1(main, granules[gr][ch].lines.data());
            part23[gr][ch] = main.Bits() - start;
        }

    BitWriter side;
    side.Put(0, mpeg1 ? 9 : 8);
    side.Put(0, mpeg1 ? (channels == 2 ? 3 : 5) : (channels == 2 ? 2 : 1));
    if (mpeg1)
        side.Put(0, 4 * channels);
    for (int gr = 0; gr < h.GetGranules(); gr++)
        for (int ch = 0; ch < channels; ch++) {
            const GranuleBits& g = granules[gr][ch];
            side.Put(part23[gr][ch], 12);
            side.Put(0, 9);  // big_values: everything is count1
            side.Put(g.globalGain, 8);
            side.Put(g.scalefacCompress, mpeg1 ? 4 : 9);
            side.Put(g.windowSwitching, 1);
            if (g.windowSwitching) {
                side.Put(g.blockType, 2);
                side.Put(g.mixed, 1);
                side.Put(0, 10);
                for (int w = 0; w < 3; w++)
                    side.Put(g.subblockGain[w], 3);
            } else {
                side.Put(0, 15);
                side.Put(0, 7);
            }
            if (mpeg1)
                side.Put(g.preflag, 1);
            side.Put(g.scalefacScale, 1);
            side.Put(1, 1);  // count1 table B
        }
    f.bytes.assign(head, head + 4);
    std::vector<unsigned char> s = side.Bytes(h.GetSideInfoLength());
    EXPECT_EQ((int)s.size(), h.GetSideInfoLength());
    std::vector<unsigned char> m = main.Bytes(h.GetMainDataLength());
    EXPECT_LE((int)m.size(), h.GetMainDataLength());
    f.bytes.insert(f.bytes.end(), s.begin(), s.end());
    f.bytes.insert(f.bytes.end(), m.begin(), m.end());
    f.bytes.resize(h.GetFrameLength() + 8, 0);
    return f;
}

std::vector<int> Decode(const Frame& f)
{
    MP3FrameDecoder decoder;
    decoder.Configure(f.header);
    std::vector<int> out(f.header.GetSamplesPerFrame() * f.header.GetChannels());
    const unsigned char* side = f.bytes.data() + 4 + f.header.GetCrcLength();
    EXPECT_TRUE(decoder.DecodeFrame(f.header, side, side + f.header.GetSideInfoLength(),
                                    f.header.GetMainDataLength(), out.data()));
    return out;
}

// Where a coded line of a block lands: its short band, window and place in the window (or -1 for
// the long part of a mixed block and for long blocks).
struct ShortPlace
{
    int sfb = -1, window = 0, line = 0;
};

ShortPlace PlaceOf(const MP3BandTable& bands, const GranuleBits& g, int coded)
{
    ShortPlace p;
    bool isShort = g.windowSwitching && g.blockType == 2;
    if (!isShort || (g.mixed && coded < bands.shortBounds[3] * 3))
        return p;
    for (int sfb = 0; sfb < 13; sfb++) {
        int start = bands.shortBounds[sfb], width = bands.shortBounds[sfb + 1] - start;
        if (coded < (start + width) * 3) {
            p.sfb = sfb;
            p.window = (coded - start * 3) / width;
            p.line = start + (coded - start * 3) % width;
            return p;
        }
    }
    return p;
}

int LongBandOf(const MP3BandTable& bands, int line)
{
    int sfb = 0;
    while (sfb < 21 && line >= bands.longBounds[sfb + 1])
        sfb++;
    return sfb;
}

// The requantisation equations: xr = sign × |v|^(4/3) × 2^((global_gain - 210 - 8 × subblock_gain) / 4)
// × 2^(-(1 + scalefac_scale) / 2 × (scale factor + preflag × pretab)); in coded order.
std::vector<double> Requantize(const MP3BandTable& bands, const GranuleBits& g, const int sfLong[22],
                               const int sfShort[13][3])
{
    std::vector<double> xr(576, 0.0);
    double m = 0.5 * (1 + g.scalefacScale);
    for (int i = 0; i < 576; i++) {
        if (!g.lines[i])
            continue;
        ShortPlace p = PlaceOf(bands, g, i);
        double e;
        if (p.sfb < 0) {
            int sfb = LongBandOf(bands, i);
            e = 0.25 * (g.globalGain - 210) - m * (sfLong[sfb] + g.preflag * kMP3Pretab[sfb]);
        } else {
            e = 0.25 * (g.globalGain - 210 - 8 * g.subblockGain[p.window]) - m * sfShort[p.sfb][p.window];
        }
        xr[i] = g.lines[i] * std::pow(2.0, e);
    }
    return xr;
}

// Coded order to IMDCT order.
std::vector<double> Reorder(const MP3BandTable& bands, const GranuleBits& g, const std::vector<double>& coded)
{
    std::vector<double> out(576, 0.0);
    for (int i = 0; i < 576; i++) {
        ShortPlace p = PlaceOf(bands, g, i);
        out[p.sfb < 0 ? i : p.line * 3 + p.window] = coded[i];
    }
    return out;
}

// Runs the reference back end over one channel's granules.
void ReferenceGranule(mp3ref::Channel& c, const MP3BandTable& bands, const GranuleBits& g, std::vector<double> coded,
                      std::vector<double>& out)
{
    std::vector<double> xr = Reorder(bands, g, coded);
    bool isShort = g.windowSwitching && g.blockType == 2;
    int aliasBoundaries = isShort ? (g.mixed ? 1 : 0) : 31;
    int shortFrom = isShort ? (g.mixed ? 2 : 0) : 32;
    int longType = g.windowSwitching && g.blockType != 2 ? g.blockType : 0;
    c.Granule(xr.data(), aliasBoundaries, longType, shortFrom, out);
}

void ExpectClose(const std::vector<int>& ours, const std::vector<double>& ref, int channels, int channel)
{
    ASSERT_EQ(ours.size(), ref.size() * channels);
    double peak = 0.0;
    int worst = 0;
    double worstDiff = 0.0;
    for (size_t i = 0; i < ref.size(); i++) {
        peak = std::max(peak, std::fabs(ref[i]));
        double d = std::fabs(ours[i * channels + channel] - ref[i]);
        if (d > worstDiff) {
            worstDiff = d;
            worst = (int)i;
        }
    }
    EXPECT_GT(peak, 1000.0) << "the test signal must not be silent";
    EXPECT_LE(worstDiff, 4.0 + peak * 2e-6) << "channel " << channel << " sample " << worst << " ours "
                                            << ours[worst * channels + channel] << " equations " << ref[worst];
}

const unsigned char kMpeg1Mono[4] = {0xFF, 0xFB, 0x90, 0xC0};  // 44100 Hz, 128 kbit/s, mono

TEST(MixedBlocks, Mpeg1MixedThenShortMatchesEquations)
{
    GranuleBits granules[2][2];
    GranuleBits& a = granules[0][0];
    a.windowSwitching = 1, a.blockType = 2, a.mixed = 1;
    a.subblockGain[0] = 0, a.subblockGain[1] = 1, a.subblockGain[2] = 2;
    a.scalefacCompress = 5;  // slen1 = slen2 = 1
    a.scalefacScale = 1;
    int sfLong[22] = {};
    int sfShort[13][3] = {};
    for (int sfb = 0; sfb < 8; sfb++) {
        sfLong[sfb] = sfb & 1;
        a.scalefactors.push_back({(unsigned)sfLong[sfb], 1});
    }
    for (int sfb = 3; sfb < 12; sfb++)
        for (int w = 0; w < 3; w++) {
            sfShort[sfb][w] = (sfb + w) % 2;
            a.scalefactors.push_back({(unsigned)sfShort[sfb][w], 1});
        }
    a.lines[3] = 1;     // long part, sub-band 0
    a.lines[20] = -1;   // long part, sub-band 1 (alias reduction with sub-band 0)
    a.lines[42] = 1;    // short band 3, window 1
    a.lines[149] = -1;  // short band 7, window 2
    a.lines[300] = 1;

    GranuleBits& b = granules[1][0];
    b.windowSwitching = 1, b.blockType = 2, b.mixed = 0;
    b.subblockGain[2] = 3;
    b.lines[0] = 1;
    b.lines[13] = -1;
    b.lines[77] = 1;

    Frame f = BuildFrame(kMpeg1Mono, granules);
    std::vector<int> ours = Decode(f);

    const MP3BandTable& bands = kMP3BandTables[0];
    int zeroLong[22] = {};
    int zeroShort[13][3] = {};
    mp3ref::Channel c;
    std::vector<double> ref;
    ReferenceGranule(c, bands, a, Requantize(bands, a, sfLong, sfShort), ref);
    ReferenceGranule(c, bands, b, Requantize(bands, b, zeroLong, zeroShort), ref);
    ExpectClose(ours, ref, 1, 0);
}

TEST(MixedBlocks, Mpeg1StartLongStopWindowsMatchEquations)
{
    GranuleBits granules[2][2];
    GranuleBits& a = granules[0][0];
    a.windowSwitching = 1, a.blockType = 1;  // start window
    a.preflag = 1;
    a.lines[5] = 1, a.lines[200] = -1, a.lines[401] = 1;
    GranuleBits& b = granules[1][0];
    b.windowSwitching = 1, b.blockType = 3;  // stop window
    b.lines[17] = -1, b.lines[18] = 1, b.lines[250] = 1;
    Frame f = BuildFrame(kMpeg1Mono, granules);
    std::vector<int> ours = Decode(f);

    const MP3BandTable& bands = kMP3BandTables[0];
    int zeroLong[22] = {};
    int zeroShort[13][3] = {};
    mp3ref::Channel c;
    std::vector<double> ref;
    ReferenceGranule(c, bands, a, Requantize(bands, a, zeroLong, zeroShort), ref);
    ReferenceGranule(c, bands, b, Requantize(bands, b, zeroLong, zeroShort), ref);
    ExpectClose(ours, ref, 1, 0);
}

TEST(MixedBlocks, Mpeg2MixedBlockUsesSixLongBands)
{
    // 22050 Hz, 64 kbit/s, mono, MPEG-2: scalefac_compress 16 gives slen 0, 1, 0, 0 (layout 0), so the
    // mixed block's parts hold 6 long, 9, 9 and 9 short values.
    const unsigned char head[4] = {0xFF, 0xF3, 0x80, 0xC0};
    GranuleBits granules[2][2];
    GranuleBits& a = granules[0][0];
    a.windowSwitching = 1, a.blockType = 2, a.mixed = 1;
    a.scalefacCompress = 16;
    int sfLong[22] = {};
    int sfShort[13][3] = {};
    // The second group of scale factors (short bands 3 to 5) has 1 bit each; the other groups none.
    for (int sfb = 3; sfb < 6; sfb++)
        for (int w = 0; w < 3; w++) {
            sfShort[sfb][w] = w == 1;
            a.scalefactors.push_back({(unsigned)sfShort[sfb][w], 1});
        }
    a.lines[7] = 1, a.lines[30] = -1, a.lines[40] = 1, a.lines[61] = 1, a.lines[170] = -1;
    Frame f = BuildFrame(head, granules);
    std::vector<int> ours = Decode(f);

    const MP3BandTable& bands = kMP3BandTables[3];
    mp3ref::Channel c;
    std::vector<double> ref;
    ReferenceGranule(c, bands, a, Requantize(bands, a, sfLong, sfShort), ref);
    ExpectClose(ours, ref, 1, 0);
}

// Intensity stereo of MPEG-1: in the bands above the right channel's last nonzero line, with a legal
// position p, left = v × tan(pπ/12) / (1 + tan(pπ/12)) and right = v / (1 + tan(pπ/12)) where v is
// the coded left value; position 7 leaves the band to mid/side (when on) or plain stereo.
class IntensityMpeg1 : public ::testing::TestWithParam<int>
{
};

TEST_P(IntensityMpeg1, MatchesEquations)
{
    int modeExtension = GetParam();
    const unsigned char head[4] = {0xFF, 0xFB, 0x90, (unsigned char)(0x40 | modeExtension << 4)};
    GranuleBits granules[2][2];
    int isPos[2][22] = {};
    for (int gr = 0; gr < 2; gr++) {
        GranuleBits& l = granules[gr][0];
        GranuleBits& r = granules[gr][1];
        for (int i = 0; i < 576; i += 7 + gr)
            l.lines[i] = (i / 7) % 3 == 0 ? -1 : 1;
        // The right channel is nonzero up to band 4 (lines below 20) in granule 0, band 8 in granule 1.
        int rightEnd = gr == 0 ? 19 : 35;
        for (int i = 1; i <= rightEnd; i += 3)
            r.lines[i] = i % 2 ? 1 : -1;
        r.scalefacCompress = 13;  // 3 bits for every scale factor
        for (int sfb = 0; sfb < 21; sfb++) {
            isPos[gr][sfb] = (sfb * 3 + gr) % 8;  // includes 7, the illegal position
            r.scalefactors.push_back({(unsigned)isPos[gr][sfb], 3});
        }
    }
    Frame f = BuildFrame(head, granules);
    std::vector<int> ours = Decode(f);

    const MP3BandTable& bands = kMP3BandTables[0];
    int zeroShort[13][3] = {};
    bool ms = modeExtension & 2;
    mp3ref::Channel cl, cr;
    std::vector<double> refL, refR;
    for (int gr = 0; gr < 2; gr++) {
        int zeroLong[22] = {};
        std::vector<double> l = Requantize(bands, granules[gr][0], zeroLong, zeroShort);
        std::vector<double> r = Requantize(bands, granules[gr][1], isPos[gr], zeroShort);
        int last = 0;
        for (int i = 0; i < 576; i++)
            if (granules[gr][1].lines[i])
                last = i;
        int firstIntensityBand = LongBandOf(bands, last) + 1;
        for (int i = 0; i < 576; i++) {
            int sfb = LongBandOf(bands, i);
            int pos = isPos[gr][sfb < 21 ? sfb : 20];
            if (sfb >= firstIntensityBand && pos != 7) {
                double v = l[i];
                double s = std::sin(pos * mp3ref::kPi / 12), c = std::cos(pos * mp3ref::kPi / 12);
                l[i] = v * s / (s + c);
                r[i] = v * c / (s + c);
            } else if (ms) {
                double m = l[i], sd = r[i];
                l[i] = (m + sd) / std::sqrt(2.0);
                r[i] = (m - sd) / std::sqrt(2.0);
            }
        }
        ReferenceGranule(cl, bands, granules[gr][0], l, refL);
        ReferenceGranule(cr, bands, granules[gr][1], r, refR);
    }
    ExpectClose(ours, refL, 2, 0);
    ExpectClose(ours, refR, 2, 1);
}

INSTANTIATE_TEST_SUITE_P(ModeExtensions, IntensityMpeg1, ::testing::Values(1, 3));

// Intensity stereo of MPEG-2: the right channel's scale factors are coded in the intensity layouts
// and the positions scale one channel by powers of 2^-1/4 (intensity scale 0) or 2^-1/2 (scale 1):
// p = 0 keeps both, odd p scales the left by k^((p + 1) / 2), even p the right by k^(p / 2); the
// largest value of the band's bits (here 7) marks a band as not intensity-coded.
class IntensityMpeg2 : public ::testing::TestWithParam<int>
{
};

TEST_P(IntensityMpeg2, MatchesEquations)
{
    int intensityScale = GetParam();
    const unsigned char head[4] = {0xFF, 0xF3, 0x80, 0x50};  // 22050 Hz, 64 kbit/s, joint, intensity
    GranuleBits granules[2][2];
    GranuleBits& l = granules[0][0];
    GranuleBits& r = granules[0][1];
    for (int i = 2; i < 500; i += 9)
        l.lines[i] = (i % 4) ? 1 : -1;
    r.lines[4] = 1, r.lines[25] = -1;  // nonzero up to long band 4 (lines 24 to 29)
    // Intensity layout 3: (c >> 1) = 129 gives slen 3, 3, 3 for parts of 7, 7 and 7 long bands.
    r.scalefacCompress = 258 + intensityScale;
    int isPos[22] = {};
    for (int sfb = 0; sfb < 21; sfb++) {
        isPos[sfb] = (sfb * 5 + 1) % 8;
        r.scalefactors.push_back({(unsigned)isPos[sfb], 3});
    }
    Frame f = BuildFrame(head, granules);
    std::vector<int> ours = Decode(f);

    const MP3BandTable& bands = kMP3BandTables[3];
    int zeroLong[22] = {};
    int zeroShort[13][3] = {};
    std::vector<double> xl = Requantize(bands, l, zeroLong, zeroShort);
    std::vector<double> xr = Requantize(bands, r, isPos, zeroShort);
    double k = intensityScale ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
    for (int i = 30; i < 576; i++) {
        int sfb = LongBandOf(bands, i);
        int p = isPos[sfb < 21 ? sfb : 20];
        if (p == 7)
            continue;
        double v = xl[i];
        double kl = (p & 1) ? std::pow(k, (p + 1) / 2) : 1.0;
        double kr = (p & 1) || p == 0 ? 1.0 : std::pow(k, p / 2);
        xl[i] = v * kl;
        xr[i] = v * kr;
    }
    mp3ref::Channel cl, cr;
    std::vector<double> refL, refR;
    ReferenceGranule(cl, bands, l, xl, refL);
    ReferenceGranule(cr, bands, r, xr, refR);
    ExpectClose(ours, refL, 2, 0);
    ExpectClose(ours, refR, 2, 1);
}

INSTANTIATE_TEST_SUITE_P(Scales, IntensityMpeg2, ::testing::Values(0, 1));

}  // namespace
