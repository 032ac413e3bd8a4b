#pragma once
// Independent checks of MP3 output: ffmpeg decodes, simple measurements
// judge the result.  Nothing here uses product code.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/files.h"

// 16-bit mono PCM at 44.1 kHz; empty when ffmpeg fails.
inline std::vector<int16_t> DecodeMp3File(const std::string& path)
{
  std::string pcm = CommandOutput("ffmpeg -nostdin -v error -i '" + path + "' -f s16le -ac 1 -ar 44100 -");
  std::vector<int16_t> samples(pcm.size() / 2);
  std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
  return samples;
}

inline std::vector<int16_t> DecodeMp3Bytes(const std::string& bytes)
{
  WriteWhole("/tmp/decode.mp3", bytes);
  return DecodeMp3File("/tmp/decode.mp3");
}

// Frequency from upward zero crossings over [from, to).
inline double ToneFrequency(const std::vector<int16_t>& s, int rate, size_t from = 0, size_t to = SIZE_MAX)
{
  long crossings = 0;
  size_t first = 0, last = 0;
  for (size_t i = from + 1; i < std::min(to, s.size()); ++i)
    if (s[i - 1] < 0 && s[i] >= 0) {
      first = crossings++ == 0 ? i : first;
      last = i;
    }
  return crossings < 2 ? 0 : static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

inline double Rms(const std::vector<int16_t>& s, size_t from, size_t to)
{
  double sum = 0;
  for (size_t i = from; i < to; ++i)
    sum += static_cast<double>(s[i]) * s[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

// Longest run in ms of 10 ms windows with RMS below `floor`, leaving out
// the first and last 100 ms: a gap in a steady tone.
inline int LongestQuietMs(const std::vector<int16_t>& s, int rate, double floor)
{
  const size_t window = static_cast<size_t>(rate / 100), edge = window * 10;
  int longest = 0, run = 0;
  for (size_t at = edge; at + window + edge <= s.size(); at += window) {
    run = Rms(s, at, at + window) < floor ? run + 10 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}
