#pragma once
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "audio/soundbase.h"
#include "audio/soundsource.h"
#include "base/processresult.h"
#include "base/signalobject.h"

// Plays back an interleaved buffer, at most `maxRead` frames a Read (as readers that deliver less than asked).
class VectorSource : public LSoundSourceBase {
public:
  VectorSource(std::vector<int> samples, int rate, unsigned char channels, int peak = LSF16::GetPeak(),
               int maxRead = INT_MAX)
      : LSoundSourceBase(rate, channels, peak), data_(std::move(samples)), maxRead_(maxRead)
  {
  }
  int Read(int* samples, int frames) override
  {
    int n = std::max(0, std::min({frames, maxRead_, GetEndSample() - pos_}));
    std::copy_n(data_.begin() + static_cast<long>(pos_) * GetChannels(), n * GetChannels(), samples);
    pos_ += n;
    return n;
  }
  int GetPositionSample() const override { return pos_; }
  int GetEndSample() const override { return static_cast<int>(data_.size() / GetChannels()); }
  void Seek(int frame) override { pos_ = std::clamp(frame, 0, GetEndSample()); }

private:
  std::vector<int> data_;
  int maxRead_;
  int pos_ = 0;
};

inline std::vector<int> Sine(double freq, int rate, int frames, double amplitude, unsigned char channels = 1)
{
  std::vector<int> v(static_cast<size_t>(frames) * channels);
  for (size_t i = 0; i < v.size(); ++i) {
    v[i] =
        static_cast<int>(std::lround(amplitude * std::sin(2 * M_PI * freq * static_cast<double>(i / channels) / rate)));
  }
  return v;
}

inline std::vector<int> ReadAll(LSoundSource& src, int chunk = 4096, int limit = INT_MAX)
{
  std::vector<int> out;
  std::vector<int> buf(static_cast<size_t>(chunk) * src.GetChannels());
  for (int total = 0, n = 1; total < limit && n > 0; total += n) {
    n = src.Read(buf.data(), std::min(chunk, limit - total));
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(std::max(n, 0)) * src.GetChannels());
  }
  return out;
}

// Amplitude of the component at `freq` in mono `v` (least-squares fit of a sine and a cosine), over frames [from, to).
inline double Amplitude(const std::vector<int>& v, double freq, int rate, int from, int to)
{
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (int i = from; i < to; ++i) {
    double s = std::sin(2 * M_PI * freq * i / rate), c = std::cos(2 * M_PI * freq * i / rate);
    ss += s * s, cc += c * c, sc += s * c, ys += v[i] * s, yc += v[i] * c;
  }
  double det = ss * cc - sc * sc;
  return std::hypot((ys * cc - yc * sc) / det, (yc * ss - ys * sc) / det);
}

class TestProgress {
public:
  bool IsToStop() const { return stop; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef s, unsigned ms)
  {
    return stop ? kProcessStopped : s.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double fraction) { progress.push_back(fraction); }
  void SetStatus1(const char* text) { status1.push_back(text); }
  void SetStatus2(const char* text) { status2.push_back(text); }
  void SetError(const char* text) { errors.push_back(text); }

  bool stop = false;
  std::vector<double> progress;
  std::vector<std::string> status1, status2, errors;
};
