#include "sound/convertratebase.h"

#include <cmath>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

long double RoundHalfAway(long double c)
{
  return c >= 0 ? std::trunc(c + 0.5L) : std::trunc(c - 0.5L);
}

}  // namespace

long double LConvertRateBase::Izero(long double x)
{
  long double y = x * x;
  long double term = 1;
  long double sum = 1;
  for (int k = 1; k <= 6; ++k) {
    term = term * y / static_cast<long double>(4 * k * k);
    sum += term;
  }
  return sum;
}

LConvertRateBase::LConvertRateBase(int inputRate, int targetRate, int taps, bool preStage)
    : phaseCount_(1), step_(1), cutoff_(0)
{
  (void)taps;  // the taps are fixed at kTaps; the argument names the design
  if (inputRate < 1) {
    inputRate = 1;
  }
  if (targetRate < 1) {
    targetRate = 1;
  }
  const long double ratio = static_cast<long double>(inputRate) / targetRate;

  // The smallest phase count whose fraction comes within 0.001 of the
  // ratio, or else the best fraction found up to 255.
  long double best = ratio;
  for (int q = 1; q <= 255; ++q) {
    long double err = std::fabs(ratio - std::trunc(q * ratio + 0.5L) / q);
    if (err < best) {
      phaseCount_ = q;
      if (err < 0.001L) {
        break;
      }
      best = err;
    }
  }
  long double step = std::trunc(phaseCount_ * ratio + 0.5L);
  step_ = step < 1 ? 1 : (step > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(step));

  long double fc;
  long double beta;
  if (targetRate <= inputRate) {
    const long double band = static_cast<long double>(targetRate) / inputRate;
    fc = band - (preStage ? 0.09375L : 0.046875L);
    // The fixed margin is the filter's transition width; for a reduction
    // by more than about ten it would eat the whole band (or make the
    // cut-off negative, an inverted filter), so there the cut-off sits at
    // the output's Nyquist frequency and the following stage removes what
    // the transition lets through.
    if (fc < band / 2) {
      fc = band;
    }
    beta = 4.538L;
  } else {
    fc = 0.975L;
    beta = 2.12L;
  }
  cutoff_ = fc;

  const long double scale = fc * 65536.0L / Izero(beta);
  coef_.assign(static_cast<size_t>(phaseCount_) * kRowStride, 0);
  for (int p = 0; p < phaseCount_; ++p) {
    int* row = &coef_[static_cast<size_t>(p) * kRowStride];
    for (int t = 0; t < kTaps; ++t) {
      long double x = static_cast<long double>(t - kHalfTaps) - static_cast<long double>(p) / phaseCount_;
      if (x == 0) {
        row[t] = static_cast<int>(std::trunc(fc * 65536.0L + 0.5L));
        continue;
      }
      long double a = x * fc * kPi;
      // 1024 = (31 + 1)^2: the window reaches zero one tap beyond the ends.
      long double w = Izero(beta * std::sqrt(1.0L - x * x / 1024.0L));
      long double c = w * std::sin(a) / a * scale;
      row[t] = static_cast<int>(RoundHalfAway(c));
    }
  }
}
