#pragma once
#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/soxfiles.h"

namespace mp3test {

// Tones, a slow sweep, noise and sharp attacks (which make the encoder switch to short blocks); loud enough that the
// reference's 16-bit rounding stays far below the 80 dB mark.
inline void WriteTestWav(const std::string& path, int rate, int channels, double seconds)
{
  int frames = static_cast<int>(rate * seconds);
  std::string data;
  uint32_t noise = 12345;
  double sweepPhase = 0.0;
  for (int i = 0; i < frames; i++) {
    double t = static_cast<double>(i) / rate, attack = std::fmod(t, 0.37);
    double burst = attack < 0.02 ? std::exp(-attack * 150.0) : 0.0;
    sweepPhase += 2.0 * M_PI * (100.0 + 1900.0 * (t / seconds)) / rate;
    for (int c = 0; c < channels; c++) {
      noise = noise * 1664525u + 1013904223u;
      double n = ((noise >> 8) / 16777216.0 - 0.5);
      double v = 0.22 * std::sin(2 * M_PI * (c ? 220.0 : 330.0) * t) + 0.14 * std::sin(2 * M_PI * 523.25 * t) +
                 0.10 * std::sin(sweepPhase + c) + 0.05 * std::sin(2 * M_PI * 1250.0 * t) + 0.03 * n + 0.7 * burst * n;
      data += soxtest::LE(static_cast<uint16_t>(std::lrint(v * 32767.0)), 2);
    }
  }
  using soxtest::LE;
  WriteWhole(path, "RIFF" + LE(static_cast<uint32_t>(36 + data.size()), 4) + "WAVEfmt " + LE(16, 4) + LE(1, 2) +
                       LE(channels, 2) + LE(rate, 4) + LE(rate * channels * 2, 4) + LE(channels * 2, 2) + LE(16, 2) +
                       "data" + LE(static_cast<uint32_t>(data.size()), 4) + data);
}

struct Pcm {
  int rate = 0;
  int channels = 0;
  std::vector<int> samples;  // 16-bit values for the reference; internal scale (x 16) for ours
  size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

inline Pcm ReferenceDecode(const std::string& path)
{
  Pcm pcm;
  std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> h(mpg123_new(nullptr, nullptr), mpg123_delete);
  mpg123_param(h.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_param(h.get(), MPG123_RESYNC_LIMIT, -1, 0.0);
  mpg123_format_none(h.get());
  for (long r : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}) {
    mpg123_format(h.get(), r, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  if (mpg123_open(h.get(), path.c_str()) != MPG123_OK) {
    return pcm;
  }
  std::vector<int16_t> buf(32768);
  for (;;) {
    size_t done = 0;
    int err = mpg123_read(h.get(), reinterpret_cast<unsigned char*>(buf.data()), buf.size() * 2, &done);
    long rate = 0;
    if (err == MPG123_NEW_FORMAT && mpg123_getformat(h.get(), &rate, &pcm.channels, nullptr) == MPG123_OK) {
      pcm.rate = static_cast<int>(rate);
    }
    pcm.samples.insert(pcm.samples.end(), buf.begin(), buf.begin() + static_cast<long>(done / 2));
    if (err != MPG123_OK && err != MPG123_NEW_FORMAT) {
      mpg123_close(h.get());
      return pcm;
    }
  }
}

struct Comparison {
  double snr = -1000.0;  // dB, at the best alignment
  long lag = 0;          // frames our decode runs ahead of the reference
};

// SNR of our decode (internal scale) against the reference (16-bit), at the best alignment in whole multiples of `step`
// frames within +-2 steps: the decoders may differ by whole MP3 frames at the start (an information frame decoded as
// silence).
inline Comparison Compare(const Pcm& ours, const Pcm& ref, int step)
{
  Comparison best;
  if (ours.channels != ref.channels || ref.channels == 0) {
    return best;
  }
  const size_t ch = static_cast<size_t>(ref.channels);
  for (long lag = -2L * step; lag <= 2L * step; lag += step) {
    double signal = 0.0, error = 0.0;
    size_t n = 0;
    for (size_t f = 0; f < ref.Frames(); f++) {
      long o = static_cast<long>(f) + lag;
      if (o < 0 || static_cast<size_t>(o) >= ours.Frames()) {
        continue;
      }
      for (size_t c = 0; c < ch; c++) {
        double r = ref.samples[f * ch + c];
        double d = ours.samples[static_cast<size_t>(o) * ch + c] / 16.0 - r;
        signal += r * r;
        error += d * d;
      }
      n++;
    }
    double snr = error > 0.0 ? 10.0 * std::log10(signal / error) : 200.0;
    best = n >= ref.Frames() / 2 && signal > 0.0 && snr > best.snr ? Comparison{snr, lag} : best;
  }
  return best;
}

}  // namespace mp3test
