#include <gtest/gtest.h>

#include <random>

#include "sound/spconvertrate.h"
#include "sound/sppeaklimit.h"
#include "sound/testsources.h"

namespace {

constexpr int kLimit = 524272;

LSoundSource Make(std::vector<int> v, int rate, unsigned char ch = 1, int peak = LSF16::GetPeak(),
                  int maxRead = INT_MAX)
{
  return LSoundSource(new VectorSource(std::move(v), rate, ch, peak, maxRead));
}

LSRCConvertRate* AsRate(const LSoundSource& s)
{
  return dynamic_cast<LSRCConvertRate*>(s.Get());
}

std::vector<int> Noise(int count, int range, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(-range, range);
  std::vector<int> v(static_cast<size_t>(count));
  std::generate(v.begin(), v.end(), [&] { return d(rng); });
  return v;
}

double GainDb(double f, int inRate, int outRate, bool image = false)
{
  const double amp = 262144;
  LSoundSource src = Make(Sine(f, inRate, inRate / 2, amp), inRate);
  LSoundSource out = LSPConvertRate(outRate).OpenSource(src);
  std::vector<int> o = ReadAll(out);
  double ratio = 1;
  for (LSRCConvertRate* c = AsRate(out); c; c = AsRate(c->GetInput())) {
    ratio *= static_cast<double>(c->GetStep()) / c->GetPhaseCount();
  }
  double at = std::fmod(f * ratio * outRate / inRate, outRate);
  at = image ? inRate - at : std::min(at, outRate - at);
  return 20 * std::log10(Amplitude(o, at, outRate, 200, static_cast<int>(o.size()) - 200) / amp);
}

}  // namespace

TEST(ConvertRate, FrequencyResponse)
{
  struct Case {
    int in, out;
    double passTo, stopFrom, stopTo, maxRipple, minRejection;
  } cases[] = {
      {44100, 22050, 8800, 11100, 22000, 0.05, 45},
      {44100, 8000, 3200, 4100, 21000, 0.1, 45},   // through 16 kHz
      {192000, 8000, 3200, 4200, 90000, 1.0, 40},  // the pre-stage neither inverts nor silences
      {48000, 44100, 18000, 0, 0, 0.1, 0},
      {22050, 44100, 9000, 0, 0, 0.2, 40},  // doubling: images at 22050 - f
  };
  for (const Case& c : cases) {
    double lo = 1e9, hi = -1e9, rejection = 1e9;
    for (double f = 50; f <= c.passTo; f += c.passTo / 20) {
      double g = GainDb(f, c.in, c.out);
      lo = std::min(lo, g);
      hi = std::max(hi, g);
      if (c.out > c.in) {
        rejection = std::min(rejection, -GainDb(f, c.in, c.out, true));
      }
    }
    for (double f = c.stopFrom; c.stopTo > 0 && f <= c.stopTo; f += (c.stopTo - c.stopFrom) / 20) {
      rejection = std::min(rejection, -GainDb(f, c.in, c.out));
    }
    std::printf("%d->%d: passband ripple %.4f dB, rejection %.1f dB\n", c.in, c.out, hi - lo, rejection);
    EXPECT_LT(hi - lo, c.maxRipple) << c.in << "->" << c.out;
    EXPECT_GT(rejection, c.minRejection) << c.in << "->" << c.out;
  }
}

TEST(ConvertRate, LengthsAndPositions)
{
  for (int n : {10000, 10001, 70000, 1}) {
    LSoundSource src = Make(Sine(1000, 44100, n, 100000), 44100);
    LSoundSource out = LSPConvertRate(22050).OpenSource(src);
    EXPECT_EQ(out.GetEndSample(), n / 2);
    EXPECT_EQ(static_cast<int>(ReadAll(out, 777).size()), n / 2) << n;
    EXPECT_EQ(out.GetPositionSample(), n / 2);
    int buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(out.Read(buf, 4), 0);
    EXPECT_EQ(buf[3], 0);
  }
  // 48000 frames at 48 kHz: (48000 / 37) * 34 + (48000 % 37) * 34 / 37.
  LSoundSource src = Make(std::vector<int>(48000, 1000), 48000);
  LSoundSource out = LSPConvertRate(44100).OpenSource(src);
  EXPECT_EQ(out.GetEndSample(), 44108);
  std::vector<int> buf(1000);
  int total = 0;
  for (int chunk : {1, 7, 333, 1000, 999, 5}) {
    total += out.Read(buf.data(), chunk);
    EXPECT_EQ(out.GetPositionSample(), total);
  }
  while (int n = out.Read(buf.data(), 1000)) {
    total += n;
  }
  EXPECT_EQ(total, 44108);

  EXPECT_EQ(LSPConvertRate(48000).OpenSource(src).Get(), src.Get());
  LSoundSource none;
  EXPECT_EQ(LSPConvertRate(8000).OpenSource(none).Get(), none.Get());
  EXPECT_TRUE(LSPConvertRate(0).OpenSource(src).Error());
}

TEST(ConvertRate, SeeksReproduceTheStream)
{
  // Samples within 16 bits (no block is shifted): a seek gives the very samples that continuous reading gave.
  LSoundSource stereo = Make(Noise(2 * 90000, 32767, 11), 48000, 2);
  LSoundSource conv = LSPConvertRate(44100).OpenSource(stereo);
  std::vector<int> whole = ReadAll(conv, 1000);
  ASSERT_EQ(static_cast<int>(whole.size()) / 2, conv.GetEndSample());
  for (int f : {1, 33, 34, 35, 12345, 40000, 82000}) {
    conv.Seek(f);
    EXPECT_EQ(conv.GetPositionSample(), f);
    std::vector<int> part = ReadAll(conv, 512, 600);
    ASSERT_EQ(part.size(), 1200u) << f;
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + 2L * f)) << f;
  }
}

TEST(ConvertRate, LoudDamagedAndTrickledInput)
{
  // A loud block is shifted down and still comes out at full scale.
  LSoundSource loud = Make(Sine(440, 44100, 9000, kLimit), 44100);
  LSoundSource l = LSPConvertRate(22050).OpenSource(loud);
  EXPECT_NEAR(Amplitude(ReadAll(l, 100, 4000), 440, 22050, 100, 4000), kLimit, kLimit * 0.005);
  EXPECT_EQ(l.GetPeak(), 2 * kLimit);

  std::vector<int> sine = Sine(300, 44100, 30000, 200000, 2);
  LSoundSource whole = Make(sine, 44100, 2);
  LSoundSource trickle = Make(sine, 44100, 2, LSF16::GetPeak(), 100);
  LSoundSource wo = LSPConvertRate(16000).OpenSource(whole);
  LSoundSource to = LSPConvertRate(16000).OpenSource(trickle);
  EXPECT_EQ(ReadAll(wo), ReadAll(to));
}

namespace {

long MaxAbs(const std::vector<int>& v)
{
  return std::labs(std::ranges::max(v, {}, [](int x) { return std::labs(x); }));
}

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

std::vector<int> Limited(std::vector<int> v, int rate = 44100, unsigned char ch = 1)
{
  LSoundSource src = Make(std::move(v), rate, ch, INT_MAX);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  return ReadIrregular(out);
}

}  // namespace

TEST(PeakLimit, AdversarialInputsStayWithinTheLimit)
{
  const int n = 44100 * 3 + 77;  // not a whole number of blocks
  std::vector<int> square(2 * n), impulses(2 * n, 0), loudThenQuiet(2 * n), extremes(2 * n);
  for (int i = 0; i < n; ++i) {
    square[2 * i] = square[2 * i + 1] = ((i / 50) % 2 ? 2 : -2) * kLimit;
    int amp = i < n / 3 ? 4 * kLimit : (i < 2 * n / 3 ? 0 : kLimit / 2);
    loudThenQuiet[2 * i] = loudThenQuiet[2 * i + 1] = (i % 2) ? amp : -amp;
    if (i % 3001 == 0) {
      impulses[2 * i] = INT_MAX / 2;
      impulses[2 * i + 3] = -INT_MAX / 2;
    }
  }
  for (int i = 0; i < 2 * n; ++i) {
    extremes[i] = (i / 7) % 2 ? INT_MAX : INT_MIN;
  }
  std::pair<const char*, std::vector<int>> signals[] = {
      {"square", square},
      {"impulses", impulses},
      {"noise", Noise(2 * n, 8 * kLimit, 3)},
      {"loud then silence", loudThenQuiet},
      {"extremes", extremes},
  };
  for (auto& [name, v] : signals) {
    std::vector<int> o = Limited(v, 44100, 2);
    EXPECT_EQ(o.size(), v.size()) << name;
    EXPECT_LE(MaxAbs(o), kLimit + 2) << name;
  }
  std::vector<int> o = Limited(square, 44100, 2);
  EXPECT_GT(MaxAbs(std::vector<int>(o.begin() + 20000, o.end())), kLimit * 999 / 1000);
  EXPECT_EQ(Limited(std::vector<int>(50000, 0)), std::vector<int>(50000, 0));
  std::vector<int> three(3 * 5000, 1000);
  for (size_t i = 2; i < three.size(); i += 3) {
    three[i] = 3 * kLimit;
  }
  std::vector<int> t = Limited(three, 22050, 3);
  EXPECT_LE(MaxAbs(t), kLimit);
  EXPECT_NEAR(t[3 * 2500], 1000 / 3, 2);
}

TEST(PeakLimit, OnlyAboveTheLimitAndSeeksRestartIt)
{
  LSoundSource within = Make(std::vector<int>(10), 44100, 1, kLimit);
  EXPECT_EQ(LSPPeakLimit(kLimit).OpenSource(within).Get(), within.Get());
  LSoundSource above = Make(std::vector<int>(10), 44100, 1, kLimit + 1);
  EXPECT_EQ(LSPPeakLimit(kLimit).OpenSource(above).GetPeak(), kLimit);
  LSoundSource none;
  EXPECT_EQ(LSRCPeakLimit(none, kLimit).GetErrorCode(), 2);

  std::vector<int> v = Noise(30000, 3 * kLimit, 5);
  LSoundSource src = Make(v, 8000, 1, INT_MAX);
  LSoundSource out = LSPPeakLimit(kLimit).OpenSource(src);
  EXPECT_EQ(out.GetEndSample(), 30000);
  out.Seek(12345);
  EXPECT_EQ(out.GetPositionSample(), 12345);
  EXPECT_EQ(ReadIrregular(out), Limited(std::vector<int>(v.begin() + 12345, v.end()), 8000));
}
