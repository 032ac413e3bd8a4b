#include "sound/mp3stereo.h"

#include <cmath>

#include "audio/mp3header.h"
#include "sound/mp3requantize.h"
#include "sound/mp3scalefactors.h"
#include "sound/mp3sideinfo.h"
#include "sound/mp3tables.h"

namespace {

// Left and right factors of each intensity position: MPEG-1 positions 0 to 6 give the ratio
// tan(pos × π / 12); the lower sampling frequencies scale one channel by a power of 2^-1/4 (intensity
// scale 0) or 2^-1/2 (scale 1).
struct IntensityFactors {
  float mpeg1[7][2];
  float lower[2][32][2];

  IntensityFactors()
  {
    const double pi = 3.14159265358979323846;
    for (int p = 0; p < 7; p++) {
      double s = std::sin(p * pi / 12.0);
      double c = std::cos(p * pi / 12.0);
      mpeg1[p][0] = (float)(s / (s + c));
      mpeg1[p][1] = (float)(c / (s + c));
    }
    for (int scale = 0; scale < 2; scale++) {
      double base = scale ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
      for (int p = 0; p < 32; p++) {
        double kl = 1.0;
        double kr = 1.0;
        if (p & 1)
          kl = std::pow(base, (p + 1) / 2);
        else if (p)
          kr = std::pow(base, p / 2);
        lower[scale][p][0] = (float)kl;
        lower[scale][p][1] = (float)kr;
      }
    }
  }
};

const IntensityFactors& Factors()
{
  static const IntensityFactors factors;
  return factors;
}

class BandProcessor {
public:
  BandProcessor(const MP3Header& h, const MP3GranuleInfo& right, float* l, float* r)
      : midSide_(h.modeExtension & 2), mpeg1_(h.version == 0), left_(l), right_(r)
  {
    lower_ = Factors().lower[right.scalefacCompress & 1];
  }

  // Lines [start, end) outside the intensity region.
  void Plain(int start, int end)
  {
    if (!midSide_)
      return;
    const float k = 0.70710678118654752f;
    for (int i = start; i < end; i++) {
      float m = left_[i];
      float s = right_[i];
      left_[i] = (m + s) * k;
      right_[i] = (m - s) * k;
    }
  }

  // Lines [start, end) of a band in the intensity region with position `pos`; a position the band
  // marks as illegal leaves it to the plain processing.
  void Intensity(int start, int end, int pos, int illegal)
  {
    if (pos == illegal || (mpeg1_ && pos > 6)) {
      Plain(start, end);
      return;
    }
    const float* f = mpeg1_ ? Factors().mpeg1[pos] : lower_[pos & 31];
    for (int i = start; i < end; i++) {
      float v = left_[i];
      left_[i] = v * f[0];
      right_[i] = v * f[1];
    }
  }

private:
  bool midSide_;
  bool mpeg1_;
  float* left_;
  float* right_;
  const float (*lower_)[2];
};

bool AnyNonzero(const float* x, int start, int end)
{
  for (int i = start; i < end; i++)
    if (x[i] != 0.0f)
      return true;
  return false;
}

void LongBands(BandProcessor& p, const MP3ScaleFactors& sf, const short* bounds, int firstBand, int endBand,
               const float* right)
{
  // The intensity region starts above the band of the last nonzero right-channel line.
  int firstIntensity = firstBand;
  for (int sfb = endBand - 1; sfb >= firstBand; sfb--) {
    if (AnyNonzero(right, bounds[sfb], bounds[sfb + 1])) {
      firstIntensity = sfb + 1;
      break;
    }
  }
  for (int sfb = firstBand; sfb < endBand; sfb++) {
    if (sfb < firstIntensity) {
      p.Plain(bounds[sfb], bounds[sfb + 1]);
      continue;
    }
    // Band 21 carries no scale factor; it takes the position of band 20.
    int b = sfb < 21 ? sfb : 20;
    p.Intensity(bounds[sfb], bounds[sfb + 1], sf.l[b], sf.illegalL[b]);
  }
}

}  // namespace

void JointStereoProcessing(const MP3Header& h, const MP3GranuleInfo& right, const MP3ScaleFactors& sf,
                           const MP3BandTable& bands, float* xrLeft, float* xrRight, int count[2])
{
  int n = count[0] > count[1] ? count[0] : count[1];
  BandProcessor p(h, right, xrLeft, xrRight);
  if (!(h.modeExtension & 1)) {
    p.Plain(0, n);
    count[0] = count[1] = n;
    return;
  }
  if (!right.IsShort()) {
    LongBands(p, sf, bands.longBounds, 0, 22, xrRight);
    count[0] = count[1] = 576;
    return;
  }

  int shortStart = 0;
  if (right.mixedBlock) {
    shortStart = 3;
    int longBands = MixedBlockLongBands(h.version == 0);
    int longEnd = MixedBlockLongEnd(bands);
    // When the right channel has anything in the short part, the long part is below the
    // intensity region.
    if (AnyNonzero(xrRight, longEnd, 576)) {
      p.Plain(0, longEnd);
    } else {
      LongBands(p, sf, bands.longBounds, 0, longBands, xrRight);
      if (bands.longBounds[longBands] < longEnd)
        p.Plain(bands.longBounds[longBands], longEnd);
    }
  }
  for (int w = 0; w < 3; w++) {
    int firstIntensity = shortStart;
    for (int sfb = 12; sfb >= shortStart; sfb--) {
      int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
      int start = bands.shortBounds[sfb] * 3 + w * width;
      if (AnyNonzero(xrRight, start, start + width)) {
        firstIntensity = sfb + 1;
        break;
      }
    }
    for (int sfb = shortStart; sfb < 13; sfb++) {
      int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
      int start = bands.shortBounds[sfb] * 3 + w * width;
      if (sfb < firstIntensity) {
        p.Plain(start, start + width);
        continue;
      }
      int b = sfb < 12 ? sfb : 11;
      p.Intensity(start, start + width, sf.s[b][w], sf.illegalS[b]);
    }
  }
  count[0] = count[1] = 576;
}
