#pragma once
// Filter design of the rate converter: a polyphase windowed-sinc low-pass of
// 63 taps with a Kaiser window, coefficients in 16-bit fixed point (65536 is
// a gain of 1), and a rate ratio approximated by step / phaseCount with a
// phase count of at most 255.
#include <cstddef>
#include <cstdint>
#include <vector>

class LConvertRateBase {
public:
  static constexpr int kTaps = 63;
  static constexpr int kHalfTaps = 31;
  // Rows are padded with one zero tap, so that both half-sums run over 32
  // taps (a length the compiler can vectorise without a remainder loop).
  static constexpr int kRowStride = 64;

  // `preStage` marks the first of two converters used for a large
  // reduction, which may use a wider transition band.
  LConvertRateBase(int inputRate, int targetRate, int taps, bool preStage);

  // Zeroth-order modified Bessel function of the first kind, by its power
  // series cut after seven terms.
  static long double Izero(long double x);

  int GetPhaseCount() const { return phaseCount_; }
  int GetStep() const { return step_; }
  // Cut-off as a fraction of the input's Nyquist frequency.
  double GetCutoff() const { return static_cast<double>(cutoff_); }
  // Taps of phase p (kTaps values, then a zero).
  const int* GetRow(int p) const { return &coef_[static_cast<size_t>(p) * kRowStride]; }

protected:
  int32_t phaseCount_;
  int32_t step_;  // input frames per phaseCount_ output frames
  std::vector<int> coef_;
  long double cutoff_;
};
