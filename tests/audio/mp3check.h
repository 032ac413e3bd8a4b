#pragma once
// Independent checks of MP3 output for the audio tests: ffmpeg decodes,
// simple measurements judge the result.  Nothing here uses product code.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Decodes an MP3 file with ffmpeg into 16-bit mono PCM at `rate`.
// An empty result when ffmpeg fails.
inline std::vector<int16_t> DecodeMp3File(const std::string& path, int rate = 44100)
{
  std::string command = "ffmpeg -nostdin -v error -i '" + path + "' -f s16le -ac 1 -ar " + std::to_string(rate) + " -";
  std::vector<int16_t> samples;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return samples;
  int16_t buffer[4096];
  size_t n;
  while ((n = fread(buffer, sizeof buffer[0], 4096, pipe)) > 0)
    samples.insert(samples.end(), buffer, buffer + n);
  if (pclose(pipe) != 0)
    samples.clear();
  return samples;
}

inline std::vector<int16_t> DecodeMp3Bytes(const std::string& bytes, const std::string& scratch, int rate = 44100)
{
  {
    std::ofstream file(scratch, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<int16_t> samples = DecodeMp3File(scratch, rate);
  std::remove(scratch.c_str());
  return samples;
}

// "sample_rate,channels" of the first audio stream, as ffprobe reports it.
inline std::string ProbeMp3(const std::string& path)
{
  std::string command = "ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels "
                        "-of csv=p=0 '" + path + "'";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr)
    out += buffer;
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
    out.pop_back();
  return out;
}

// Frequency from upward zero crossings over [from, to).
inline double ToneFrequency(const std::vector<int16_t>& s, int rate, size_t from = 0, size_t to = SIZE_MAX)
{
  to = to > s.size() ? s.size() : to;
  long crossings = 0;
  size_t first = 0, last = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) {
      if (crossings == 0)
        first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2)
    return 0;
  return static_cast<double>(crossings - 1) * rate / static_cast<double>(last - first);
}

inline double Rms(const std::vector<int16_t>& s, size_t from, size_t to)
{
  double sum = 0;
  for (size_t i = from; i < to; ++i)
    sum += static_cast<double>(s[i]) * s[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

// Length in ms of the longest run of 10 ms windows whose RMS is below
// `floor`, ignoring the first and last `edgeMs`: a gap in a steady tone.
inline int LongestQuietMs(const std::vector<int16_t>& s, int rate, double floor, int edgeMs = 100)
{
  const size_t window = static_cast<size_t>(rate / 100);
  const size_t edge = static_cast<size_t>(rate) * static_cast<size_t>(edgeMs) / 1000;
  int longest = 0, run = 0;
  for (size_t at = edge; at + window + edge <= s.size(); at += window) {
    run = Rms(s, at, at + window) < floor ? run + 10 : 0;
    longest = run > longest ? run : longest;
  }
  return longest;
}
