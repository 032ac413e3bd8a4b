// Rate converter: filter design, chain selection, lengths, seeking,
// normalisation, overflow safety and the measured frequency response.
#include <cmath>
#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "sound/spconvertrate.h"
#include "sound/testsources.h"

namespace {

LSoundSource Make(std::vector<int> v, int rate, unsigned char ch = 1, int peak = LSF16::GetPeak(), int maxRead = INT_MAX)
{
  return LSoundSource(new VectorSource(std::move(v), rate, ch, peak, maxRead));
}

LSRCConvertRate* AsRate(const LSoundSource& s)
{
  return dynamic_cast<LSRCConvertRate*>(s.Get());
}

} // namespace

TEST(ConvertRateDesign, PhaseCountAndStep)
{
  struct Case {
    int in, out, phases, step;
  };
  for (Case c : {Case{48000, 44100, 34, 37}, Case{44100, 48000, 37, 34}, Case{44100, 22050, 1, 2},
                 Case{22050, 44100, 2, 1}, Case{8000, 22050, 11, 4}, Case{44100, 44100, 1, 1},
                 Case{44100, 11025, 1, 4}}) {
    LConvertRateBase d(c.in, c.out, 63, false);
    EXPECT_EQ(d.GetPhaseCount(), c.phases) << c.in << "->" << c.out;
    EXPECT_EQ(d.GetStep(), c.step) << c.in << "->" << c.out;
  }
  // An odd ratio with no close fraction keeps the best one up to 255.
  LConvertRateBase odd(44100, 44101, 63, false);
  EXPECT_LE(odd.GetPhaseCount(), 255);
  EXPECT_NEAR(static_cast<double>(odd.GetStep()) / odd.GetPhaseCount(), 44100.0 / 44101, 1e-4);
}

TEST(ConvertRateDesign, CoefficientsAndCutoff)
{
  EXPECT_DOUBLE_EQ(static_cast<double>(LConvertRateBase::Izero(0)), 1.0);
  EXPECT_NEAR(static_cast<double>(LConvertRateBase::Izero(1)), 1.2660658777520082, 1e-9);

  LConvertRateBase down(44100, 22050, 63, false);
  EXPECT_DOUBLE_EQ(down.GetCutoff(), 0.5 - 0.046875);
  // Centre tap of phase 0 is trunc(fc * 65536 + 0.5); the filter is
  // symmetric about it.
  EXPECT_EQ(down.GetRow(0)[31], 29696);
  for (int t = 0; t < 31; ++t) {
    EXPECT_EQ(down.GetRow(0)[t], down.GetRow(0)[62 - t]) << t;
  }
  LConvertRateBase pre(44100, 16000, 63, true);
  EXPECT_DOUBLE_EQ(pre.GetCutoff(), 16000.0 / 44100 - 0.09375);
  LConvertRateBase up(22050, 44100, 63, false);
  EXPECT_DOUBLE_EQ(up.GetCutoff(), 0.975);
  // Every phase has unity gain within a quarter percent.
  for (const LConvertRateBase* d : {&down, &pre, &up}) {
    for (int p = 0; p < d->GetPhaseCount(); ++p) {
      long sum = 0;
      for (int t = 0; t < 63; ++t) {
        sum += d->GetRow(p)[t];
      }
      EXPECT_NEAR(sum, 65536, 200) << p;
    }
  }
  // Phase p of an upsampler is the phase-0 filter delayed by p/phases: the
  // two phases of a doubler mirror each other.
  for (int t = 1; t < 63; ++t) {
    EXPECT_EQ(up.GetRow(1)[t], up.GetRow(1)[63 - t]) << t;
  }
}

TEST(ConvertRateDesign, LargeReductionKeepsAPositiveCutoff)
{
  // 192 kHz to 8 kHz goes through 16 kHz; the fixed margin would put the
  // pre-stage's cut-off below zero.
  LConvertRateBase pre(192000, 16000, 63, true);
  EXPECT_GT(pre.GetCutoff(), 0.0);
  EXPECT_DOUBLE_EQ(pre.GetCutoff(), 16000.0 / 192000);
  long sum = 0;
  for (int t = 0; t < 63; ++t) {
    sum += pre.GetRow(0)[t];
  }
  EXPECT_NEAR(sum, 65536, 400);
}

TEST(ConvertRateChain, StagesChosenByRatio)
{
  LSoundSource s = Make(std::vector<int>(100), 44100);
  LSoundSource to8 = LSPConvertRate(8000).OpenSource(s);
  LSRCConvertRate* last = AsRate(to8);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(to8.GetSampleRate(), 8000);
  EXPECT_DOUBLE_EQ(last->GetCutoff(), 0.5 - 0.046875);
  LSRCConvertRate* first = AsRate(last->GetInput());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetSampleRate(), 16000);
  EXPECT_DOUBLE_EQ(first->GetCutoff(), 16000.0 / 44100 - 0.09375);
  EXPECT_EQ(first->GetInput().Get(), s.Get());

  LSoundSource to11 = LSPConvertRate(11025).OpenSource(s);
  ASSERT_NE(AsRate(to11), nullptr);
  EXPECT_EQ(AsRate(to11)->GetInput().Get(), s.Get());
  EXPECT_DOUBLE_EQ(AsRate(to11)->GetCutoff(), 0.25 - 0.046875);

  // Same rate, or an input in error: the input itself.
  EXPECT_EQ(LSPConvertRate(44100).OpenSource(s).Get(), s.Get());
  LSoundSource none;
  EXPECT_EQ(LSPConvertRate(8000).OpenSource(none).Get(), none.Get());
  EXPECT_TRUE(LSPConvertRate(0).OpenSource(s).Error());
}

TEST(ConvertRateChain, ChannelsReducedBeforeAndDoubledAfter)
{
  LSoundSource mono = Make(std::vector<int>(100), 22050, 1);
  LSPConvertSourceRateChannels(44100, 2, mono);
  EXPECT_EQ(mono.GetSampleRate(), 44100);
  EXPECT_EQ(mono.GetChannels(), 2);
  auto* doubler = dynamic_cast<LSoundProcessBase*>(mono.Get());
  ASSERT_NE(doubler, nullptr);
  ASSERT_NE(AsRate(doubler->GetInput()), nullptr);
  EXPECT_EQ(doubler->GetInput().GetChannels(), 1);

  LSoundSource stereo = Make(std::vector<int>(200), 44100, 2);
  LSPConvertSourceRateChannels(22050, 1, stereo);
  ASSERT_NE(AsRate(stereo), nullptr);
  EXPECT_EQ(stereo.GetChannels(), 1);
  EXPECT_EQ(AsRate(stereo)->GetInput().GetChannels(), 1);
  EXPECT_EQ(AsRate(stereo)->GetInput().GetSampleRate(), 44100);

  LSoundSource same = Make(std::vector<int>(200), 44100, 2);
  LSoundSourceBase* before = same.Get();
  LSPConvertSourceRateChannels(44100, 2, same);
  EXPECT_EQ(same.Get(), before);
}

TEST(ConvertRate, HalvingGivesExactlyHalfTheLength)
{
  for (int n : {10000, 10001, 70000, 1}) {
    LSoundSource src = Make(Sine(1000, 44100, n, 100000), 44100);
    LSoundSource out = LSPConvertRate(22050).OpenSource(src);
    EXPECT_EQ(out.GetEndSample(), n / 2);
    std::vector<int> all = ReadAll(out, 777);
    EXPECT_EQ(static_cast<int>(all.size()), n / 2) << n;
    EXPECT_EQ(out.GetPositionSample(), n / 2);
    int buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(out.Read(buf, 4), 0);
    EXPECT_EQ(buf[3], 0);
  }
}

TEST(ConvertRate, LengthAndPositionAgreeForFractionalRatios)
{
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
}

TEST(ConvertRate, FirstOutputIsCentredOnInputZero)
{
  std::vector<int> impulse(2000, 0);
  impulse[0] = 16384;
  LSoundSource src = Make(impulse, 44100);
  LSoundSource out = LSPConvertRate(22050).OpenSource(src);
  std::vector<int> v = ReadAll(out);
  // Output 0 is the centre tap (29696 / 65536 of the impulse), output 1
  // sees it two taps off centre.
  EXPECT_EQ(v[0], (16384 * 29696 + 32768) >> 16);
  const int* row = AsRate(out)->GetRow(0);
  EXPECT_EQ(v[1], (((16384 * row[29]) >> 1) + 16384) >> 15);
}

TEST(ConvertRate, SeekCentresOnTheSoughtInputFrame)
{
  std::vector<int> impulse(6000, 0);
  impulse[2000] = 16384;
  auto* raw = new VectorSource(impulse, 44100, 1);
  LSoundSource src(raw);
  LSoundSource out = LSPConvertRate(22050).OpenSource(src);
  out.Seek(1000);
  ASSERT_FALSE(raw->seeks_.empty());
  EXPECT_EQ(raw->seeks_.back(), 1969);
  EXPECT_EQ(out.GetPositionSample(), 1000);
  int v[3];
  ASSERT_EQ(out.Read(v, 3), 3);
  EXPECT_EQ(v[0], (16384 * 29696 + 32768) >> 16);
  EXPECT_LT(std::abs(v[1]), v[0] / 4);
}

TEST(ConvertRate, SeekNearTheStartNeverSeeksBeforeIt)
{
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> d(-524288, 524272);
  std::vector<int> noise(20000);
  for (int& x : noise) {
    x = d(rng);
  }
  for (int target : {0, 5, 16}) {
    auto* raw = new VectorSource(noise, 44100, 1);
    LSoundSource src(raw);
    LSoundSource out = LSPConvertRate(22050).OpenSource(src);
    std::vector<int> fresh = ReadAll(out, 300, 400);
    out.Seek(target);
    EXPECT_EQ(raw->negativeSeeks_, 0) << target;
    std::vector<int> again = ReadAll(out, 300, 400 - target);
    // Rewinding reproduces the stream exactly.
    EXPECT_EQ(again, std::vector<int>(fresh.begin() + target, fresh.end())) << target;
  }
}

TEST(ConvertRate, SeekReproducesTheContinuousStream)
{
  // Samples within 16 bits: no block is shifted, so a seek must give the
  // very samples that continuous reading gave.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> d(-32767, 32767);
  std::vector<int> noise(2 * 90000);
  for (int& x : noise) {
    x = d(rng);
  }
  LSoundSource a = Make(noise, 48000, 2);
  LSoundSource conv = LSPConvertRate(44100).OpenSource(a);
  std::vector<int> whole = ReadAll(conv, 1000);
  ASSERT_EQ(static_cast<int>(whole.size()) / 2, conv.GetEndSample());
  for (int f : {1, 33, 34, 35, 12345, 40000, 82000}) {
    conv.Seek(f);
    EXPECT_EQ(conv.GetPositionSample(), f);
    std::vector<int> part = ReadAll(conv, 512, 600);
    ASSERT_EQ(part.size(), 1200u) << f;
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + 2L * f)) << f;
  }
  conv.Seek(conv.GetEndSample() + 10);
  int buf[2];
  EXPECT_EQ(conv.Read(buf, 1), 0);
}

TEST(ConvertRate, BlockNormalisation)
{
  LSoundSource quiet = Make(Sine(440, 44100, 9000, 32767), 44100);
  LSoundSource q = LSPConvertRate(22050).OpenSource(quiet);
  ReadAll(q, 100, 100);
  EXPECT_EQ(AsRate(q)->GetInputShift(), 0);

  LSoundSource loud = Make(Sine(440, 44100, 9000, 524272), 44100);
  LSoundSource l = LSPConvertRate(22050).OpenSource(loud);
  std::vector<int> out = ReadAll(l, 100, 4000);
  EXPECT_EQ(AsRate(l)->GetInputShift(), 4);
  // The shifted block still comes out at full scale.
  EXPECT_NEAR(Amplitude(out, 440, 22050, 100, 4000), 524272, 524272 * 0.005);
  EXPECT_EQ(l.GetPeak(), 2 * 524272);
}

TEST(ConvertRate, AdversarialInputDoesNotOverflow)
{
  // Samples at +-32767 carrying the sign of each tap: the half sums reach
  // about 79813 * 32767, past the range of 32-bit sums.
  LConvertRateBase d(44100, 22050, 63, false);
  std::vector<int> v(4000, 0);
  const int* row = d.GetRow(0);
  const int centre = 1000;
  for (int t = 0; t < 63; ++t) {
    v[centre - 31 + t] = row[t] >= 0 ? 32767 : -32767;
  }
  long double exact = 0;
  for (int t = 0; t < 63; ++t) {
    exact += static_cast<long double>(row[t]) * v[centre - 31 + t];
  }
  LSoundSource src = Make(v, 44100);
  LSoundSource out = LSPConvertRate(22050).OpenSource(src);
  std::vector<int> o = ReadAll(out);
  EXPECT_NEAR(o[centre / 2], static_cast<double>(exact / 65536), 1.0);
  EXPECT_GT(o[centre / 2], 32767); // overshoot beyond the input's peak, not a wrap

  // Extreme values from damaged input stay defined and saturate.
  std::vector<int> extreme(3000);
  for (size_t i = 0; i < extreme.size(); ++i) {
    extreme[i] = (i / 3) % 2 ? INT_MAX : -INT_MAX;
  }
  LSoundSource x = Make(extreme, 44100, 1, INT_MAX);
  LSoundSource xo = LSPConvertRate(48000).OpenSource(x);
  std::vector<int> xv = ReadAll(xo);
  EXPECT_EQ(static_cast<int>(xv.size()), xo.GetEndSample());
}

TEST(ConvertRate, ShortReadsAreNotTakenForTheEnd)
{
  std::vector<int> v = Sine(300, 44100, 30000, 200000, 2);
  LSoundSource whole = Make(v, 44100, 2);
  LSoundSource trickle = Make(v, 44100, 2, LSF16::GetPeak(), 100);
  LSoundSource a = LSPConvertRate(16000).OpenSource(whole);
  LSoundSource b = LSPConvertRate(16000).OpenSource(trickle);
  EXPECT_EQ(ReadAll(a), ReadAll(b));
}

TEST(ConvertRate, MoreThanTwoChannelsAreConverted)
{
  std::vector<int> v(3 * 4410);
  for (int i = 0; i < 4410; ++i) {
    v[3 * i] = 1000;
    v[3 * i + 1] = -2000;
    v[3 * i + 2] = 3000;
  }
  LSoundSource src = Make(v, 44100, 3);
  LSoundSource out = LSPConvertRate(22050).OpenSource(src);
  std::vector<int> o = ReadAll(out);
  ASSERT_EQ(o.size(), 3u * 2205);
  // Mid-stream a constant comes through at the filter's DC gain.
  EXPECT_NEAR(o[3 * 1000], 1000, 2);
  EXPECT_NEAR(o[3 * 1000 + 1], -2000, 3);
  EXPECT_NEAR(o[3 * 1000 + 2], 3000, 4);
}

TEST(ConvertRate, InputInErrorMarksTheConverter)
{
  LSoundSource none;
  LSRCConvertRate conv(none, 22050, false);
  EXPECT_EQ(conv.GetErrorCode(), 2);
  EXPECT_EQ(conv.GetSampleRate(), 22050);
  int buf[10];
  EXPECT_EQ(conv.Read(buf, 10), 0);
}

namespace {

struct Response {
  double ripple;    // passband max - min, dB
  double rejection; // weakest stopband attenuation, dB
};

// Feeds sines one by one and measures the output at each (aliased)
// frequency.
Response Measure(int inRate, int outRate, double passTo, double stopFrom, double stopTo)
{
  const double amp = 262144; // half of 16-bit full scale
  const int frames = inRate / 2;
  double lo = 1e9, hi = -1e9, worst = 1e9;
  auto gainAt = [&](double f) {
    LSoundSource src(new VectorSource(Sine(f, inRate, frames, amp), inRate, 1));
    LSoundSource out = LSPConvertRate(outRate).OpenSource(src);
    std::vector<int> o = ReadAll(out);
    // Each converter runs at step / phases input frames per output frame,
    // which may differ slightly from the nominal ratio (48 -> 44.1 kHz:
    // 37 / 34): measure at the frequency the chain really produces.
    double ratio = 1;
    for (LSRCConvertRate* c = AsRate(out); c; c = AsRate(c->GetInput())) {
      ratio *= static_cast<double>(c->GetStep()) / c->GetPhaseCount();
    }
    double produced = f * ratio * outRate / inRate;
    double alias = std::fmod(produced, outRate);
    if (alias > outRate / 2.0) {
      alias = outRate - alias;
    }
    int n = static_cast<int>(o.size());
    return 20 * std::log10(Amplitude(o, alias, outRate, 200, n - 200) / amp);
  };
  for (double f = 50; f <= passTo; f += passTo / 40) {
    double g = gainAt(f);
    lo = std::min(lo, g);
    hi = std::max(hi, g);
  }
  for (double f = stopFrom; f <= stopTo; f += (stopTo - stopFrom) / 40) {
    worst = std::min(worst, -gainAt(f));
  }
  return {hi - lo, worst};
}

} // namespace

TEST(ConvertRateResponse, SineSweeps)
{
  // 44.1 -> 22.05 kHz: pass to 0.40 of the input Nyquist, stop from the
  // output Nyquist (everything above aliases into the output).
  Response half = Measure(44100, 22050, 8800, 11100, 22000);
  printf("44100->22050: passband ripple %.4f dB, stopband rejection %.1f dB\n", half.ripple, half.rejection);
  EXPECT_LT(half.ripple, 0.05);
  EXPECT_GT(half.rejection, 45);

  // 44.1 -> 8 kHz through 16 kHz: the last stage's transition band is
  // 3250 to 4000 Hz.
  Response eight = Measure(44100, 8000, 3200, 4100, 21000);
  printf("44100->8000: passband ripple %.4f dB, stopband rejection %.1f dB\n", eight.ripple, eight.rejection);
  EXPECT_LT(eight.ripple, 0.1);
  EXPECT_GT(eight.rejection, 45);

  // 192 -> 8 kHz: the pre-stage must neither invert nor silence the band.
  Response big = Measure(192000, 8000, 3200, 4200, 90000);
  printf("192000->8000: passband ripple %.4f dB, stopband rejection %.1f dB\n", big.ripple, big.rejection);
  EXPECT_LT(big.ripple, 1.0);
  EXPECT_GT(big.rejection, 40);

  // 48 -> 44.1 kHz.
  Response frac = Measure(48000, 44100, 18000, 22100, 23900);
  printf("48000->44100: passband ripple %.4f dB, stopband rejection %.1f dB\n", frac.ripple, frac.rejection);
  EXPECT_LT(frac.ripple, 0.1);
}

TEST(ConvertRateResponse, DoublingRejectsImages)
{
  // 22.05 -> 44.1 kHz: a tone at f also leaves an image at 22050 - f,
  // which the filter (cut-off 0.975 of the input band) must suppress.
  const double amp = 262144;
  double lo = 1e9, hi = -1e9, worst = 1e9;
  for (double f = 100; f <= 9000; f += 445) {
    LSoundSource src(new VectorSource(Sine(f, 22050, 11025, amp), 22050, 1));
    LSoundSource out = LSPConvertRate(44100).OpenSource(src);
    std::vector<int> o = ReadAll(out);
    const int n = static_cast<int>(o.size());
    double g = 20 * std::log10(Amplitude(o, f, 44100, 200, n - 200) / amp);
    double image = 20 * std::log10(Amplitude(o, 22050 - f, 44100, 200, n - 200) / amp);
    lo = std::min(lo, g);
    hi = std::max(hi, g);
    worst = std::min(worst, -image);
  }
  printf("22050->44100: passband ripple %.4f dB (to 9 kHz), image rejection %.1f dB\n", hi - lo, worst);
  EXPECT_LT(hi - lo, 0.2);
  EXPECT_GT(worst, 40);
}
