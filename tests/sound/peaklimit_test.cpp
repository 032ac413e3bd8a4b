// Peak limiter: the limit holds for adversarial inputs, the gain ramps as
// designed, and lengths, positions and seeks stay consistent.
#include <random>

#include <gtest/gtest.h>

#include "sound/sppeaklimit.h"
#include "sound/testsources.h"

namespace {

constexpr int kLimit = 524272;

LSoundSource Make(std::vector<int> v, int rate, unsigned char ch = 1, int peak = 2 * kLimit)
{
  return LSoundSource(new VectorSource(std::move(v), rate, ch, peak));
}

int MaxAbs(const std::vector<int>& v)
{
  long m = 0;
  for (int x : v) {
    m = std::max(m, std::labs(static_cast<long>(x)));
  }
  return static_cast<int>(m);
}

// Reads in irregular chunks, so block edges fall inside reads.
std::vector<int> ReadIrregular(LSoundSource& src)
{
  std::vector<int> out;
  std::vector<int> buf(5000 * src.GetChannels());
  const int chunks[] = {1, 1259, 1260, 1261, 4999, 17, 640};
  for (int i = 0;; ++i) {
    int n = src.Read(buf.data(), chunks[i % 7]);
    if (n == 0) {
      return out;
    }
    out.insert(out.end(), buf.begin(), buf.begin() + n * src.GetChannels());
  }
}

} // namespace

TEST(PeakLimit, BlockLengths)
{
  struct Case {
    int rate, block;
  };
  for (Case c : {Case{44100, 1260}, Case{8000, 228}, Case{384, 16}, Case{22050, 630}, Case{400000, 8192}}) {
    LSRCPeakLimit l(Make({}, c.rate), kLimit);
    EXPECT_EQ(l.GetBlockLength(), c.block) << c.rate;
  }
}

TEST(PeakLimit, OnlyWhenTheDeclaredPeakIsAboveTheLimit)
{
  LSoundSource within = Make(std::vector<int>(10), 44100, 1, kLimit);
  EXPECT_EQ(LSPPeakLimit(kLimit).OpenSource(within).Get(), within.Get());
  LSoundSource above = Make(std::vector<int>(10), 44100, 1, kLimit + 1);
  LSoundSource l = LSPPeakLimit(kLimit).OpenSource(above);
  ASSERT_NE(dynamic_cast<LSRCPeakLimit*>(l.Get()), nullptr);
  EXPECT_EQ(l.GetPeak(), kLimit);
  EXPECT_EQ(LSRCPeakLimit(above, 0x7FFFFFFF).GetPeak(), 0x3FFFFF);

  LSoundSource none;
  LSRCPeakLimit onError(none, kLimit);
  EXPECT_EQ(onError.GetErrorCode(), 2);
}

TEST(PeakLimit, Levels)
{
  LSRCPeakLimit l(Make({}, 44100), kLimit);
  EXPECT_EQ(l.ConvMaxtoLev(0), kGainUnity);
  EXPECT_EQ(l.ConvMaxtoLev(kLimit), kGainUnity);
  EXPECT_NEAR(l.ConvMaxtoLev(2 * kLimit), 0x800000, 0x800000 / 1000);
  // Never above the exact ratio: the limit holds.
  for (int max : {kLimit + 1, kLimit + 100, 3 * kLimit, 1 << 28, INT_MAX}) {
    int level = l.ConvMaxtoLev(max);
    EXPECT_GT(level, 0) << max;
    EXPECT_LE(static_cast<double>(level), static_cast<double>(kLimit) / max * kGainUnity) << max;
  }
}

TEST(PeakLimit, GainMultiply)
{
  EXPECT_EQ(GainMultiply(123456, kGainUnity), 123456);
  EXPECT_EQ(GainMultiply(-123456, kGainUnity), -123456);
  EXPECT_EQ(GainMultiply(INT_MAX, kGainUnity), INT_MAX);
  EXPECT_EQ(GainMultiply(INT_MIN, kGainUnity), INT_MIN);
  EXPECT_EQ(GainMultiply(1048544, 0x800000), 524272);
  EXPECT_EQ(GainMultiply(0, 0x123456), 0);
  EXPECT_NEAR(GainMultiply(-1048544, 0x800000), -524272, 1);
}

TEST(PeakLimit, AdversarialInputsStayWithinTheLimit)
{
  const int rate = 44100;
  const int n = 44100 * 3 + 77; // not a whole number of blocks
  std::mt19937 rng(3);
  std::vector<std::pair<const char*, std::vector<int>>> signals;

  std::vector<int> square(2 * n);
  for (int i = 0; i < n; ++i) {
    square[2 * i] = square[2 * i + 1] = ((i / 50) % 2 ? 2 : -2) * kLimit;
  }
  signals.emplace_back("square", square);

  std::vector<int> impulses(2 * n, 0);
  for (int i = 0; i < n; i += 3001) {
    impulses[2 * i] = INT_MAX / 2;
    impulses[2 * i + 3] = -INT_MAX / 2;
  }
  signals.emplace_back("impulses", impulses);

  std::uniform_int_distribution<int> noise(-8 * kLimit, 8 * kLimit);
  std::vector<int> white(2 * n);
  for (int& x : white) {
    x = noise(rng);
  }
  signals.emplace_back("noise", white);

  std::vector<int> loudThenQuiet(2 * n, 0);
  for (int i = 0; i < n; ++i) {
    int amp = i < n / 3 ? 4 * kLimit : (i < 2 * n / 3 ? 0 : kLimit / 2);
    loudThenQuiet[2 * i] = loudThenQuiet[2 * i + 1] = (i % 2) ? amp : -amp;
  }
  signals.emplace_back("loud then silence", loudThenQuiet);

  std::vector<int> extremes(2 * n);
  for (int i = 0; i < 2 * n; ++i) {
    extremes[i] = (i / 7) % 2 ? INT_MAX : INT_MIN;
  }
  signals.emplace_back("extremes", extremes);

  for (auto& [name, v] : signals) {
    LSoundSource src = Make(v, rate, 2, INT_MAX);
    LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
    std::vector<int> o = ReadIrregular(out);
    EXPECT_EQ(o.size(), v.size()) << name;
    EXPECT_LE(MaxAbs(o), kLimit + 2) << name;
  }
  // Not merely quiet: the square wave comes out at the limit.
  LSoundSource sq = Make(square, rate, 2);
  LSoundSource sqo = LSPPeakLimit(kLimit).OpenSource(sq);
  std::vector<int> o = ReadIrregular(sqo);
  EXPECT_GT(MaxAbs(std::vector<int>(o.begin() + 20000, o.end())), kLimit * 999 / 1000);
}

TEST(PeakLimit, GainRampsDownBeforeALoudBlock)
{
  // A steady quiet level with one sample at twice the limit in block 5.
  const int b = 1260;
  std::vector<int> v(10 * b, 100000);
  v[5 * b + 600] = 2 * kLimit;
  LSoundSource src = Make(v, 44100);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  std::vector<int> o = ReadIrregular(out);
  ASSERT_EQ(o.size(), v.size());
  // Blocks 0-2 untouched; the ramp starts one block early towards the mean
  // of the four levels and reaches one half at the end of block 4.
  EXPECT_EQ(o[3 * b - 1], 100000);
  for (int i = 3 * b; i < 5 * b; ++i) {
    ASSERT_LE(o[i], o[i - 1]) << i;
  }
  EXPECT_NEAR(o[4 * b], 87500, 200);
  EXPECT_NEAR(o[5 * b - 1], 50000, 200);
  EXPECT_NEAR(o[5 * b + 600], kLimit, 1000);
  EXPECT_LE(o[5 * b + 600], kLimit);
}

TEST(PeakLimit, RecoveryIsNoFasterThanTheMean)
{
  const int b = 1260;
  std::vector<int> v(16 * b);
  for (int i = 0; i < 16 * b; ++i) {
    v[i] = i < 10 * b ? ((i % 2) ? 2 * kLimit : -2 * kLimit) : 100000;
  }
  LSoundSource src = Make(v, 44100);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  std::vector<int> o = ReadIrregular(out);
  // Block 10 starts at gain 1/2 and rises only to the mean (1/2 + 3) / 4.
  EXPECT_NEAR(o[10 * b], 50000, 200);
  EXPECT_NEAR(o[11 * b - 1], 87500, 200);
  EXPECT_NEAR(o[12 * b - 1], 100000, 20); // one increment short of unity
  EXPECT_EQ(o[12 * b], 100000);
  EXPECT_EQ(o[14 * b], 100000);
}

TEST(PeakLimit, SilenceIsUntouched)
{
  LSoundSource src = Make(std::vector<int>(50000, 0), 44100);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  std::vector<int> o = ReadIrregular(out);
  EXPECT_EQ(o, std::vector<int>(50000, 0));
}

TEST(PeakLimit, PositionSeekAndEnd)
{
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> d(-3 * kLimit, 3 * kLimit);
  std::vector<int> v(30000);
  for (int& x : v) {
    x = d(rng);
  }
  LSoundSource src = Make(v, 8000);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  EXPECT_EQ(out.GetPositionSample(), 0);
  EXPECT_EQ(out.GetEndSample(), 30000);
  std::vector<int> buf(3000);
  int total = 0;
  for (int chunk : {1, 227, 228, 229, 2999}) {
    total += out.Read(buf.data(), chunk);
    EXPECT_EQ(out.GetPositionSample(), total);
  }
  // After a seek the limiter restarts exactly as a fresh one would over
  // the input from that frame.
  out.Seek(12345);
  EXPECT_EQ(out.GetPositionSample(), 12345);
  std::vector<int> afterSeek = ReadIrregular(out);
  LSoundSource tail = Make(std::vector<int>(v.begin() + 12345, v.end()), 8000);
  LSoundSource fresh = LSPPeakLimit(kLimit).OpenSource(tail);
  EXPECT_EQ(afterSeek, ReadIrregular(fresh));
  EXPECT_EQ(out.GetPositionSample(), 30000);
  int rest[4] = {1, 1, 1, 1};
  EXPECT_EQ(out.Read(rest, 4), 0);
  EXPECT_EQ(rest[3], 0);
}

TEST(PeakLimit, ManyChannels)
{
  std::vector<int> v(3 * 5000);
  for (size_t i = 0; i < v.size(); ++i) {
    v[i] = (i % 3 == 2) ? 3 * kLimit : 1000;
  }
  LSoundSource src = Make(v, 22050, 3);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  std::vector<int> o = ReadIrregular(out);
  ASSERT_EQ(o.size(), v.size());
  EXPECT_LE(MaxAbs(o), kLimit);
  // One gain for all channels of a frame.
  EXPECT_NEAR(o[3 * 2500], 1000 / 3, 2);
}
