// Converts 10 minutes of 44.1 kHz stereo 16-bit audio to 22.05 kHz mono
// through the rate and channel converter and the peak limiter, as the
// encode of a recording does, and the same audio with sox in the same run.
//
// Usage: bench_convert [minutes]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/soundbase.h"
#include "sound/spconvertrate.h"
#include "sound/sppeaklimit.h"

namespace {

// Reads 16-bit stereo from memory, as a WAV reader would from its file.
class Memory16Source : public LSoundSourceBase {
public:
  Memory16Source(const std::vector<LSF16>& data, int rate, unsigned char channels)
      : LSoundSourceBase(rate, channels, LSF16::GetPeak()), data_(data)
  {
  }
  int Read(int* samples, int frames) override
  {
    int n = std::min(frames, GetEndSample() - pos_);
    ConvertSamplesIn(samples, &data_[static_cast<size_t>(pos_) * GetChannels()], n * GetChannels());
    pos_ += n;
    return n;
  }
  int GetPositionSample() const override { return pos_; }
  int GetEndSample() const override { return static_cast<int>(data_.size() / GetChannels()); }
  void Seek(int frame) override { pos_ = frame; }

private:
  const std::vector<LSF16>& data_;
  int pos_ = 0;
};

double Seconds(std::chrono::steady_clock::time_point since)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Music-like test material: a few partials, a slow sweep and noise, loud
// enough that the resampled signal overshoots and the limiter works.
std::vector<LSF16> MakeAudio(int frames)
{
  std::vector<LSF16> v(static_cast<size_t>(frames) * 2);
  uint32_t seed = 12345;
  for (int i = 0; i < frames; ++i) {
    double t = i / 44100.0;
    double sweep = std::sin(2 * M_PI * (50 * t + 15 * t * t / 600));
    seed = seed * 1664525u + 1013904223u;
    double noise = (static_cast<int32_t>(seed) / 2147483648.0) * 0.05;
    double l = 0.5 * std::sin(2 * M_PI * 440 * t) + 0.35 * sweep + 0.2 * std::sin(2 * M_PI * 9000 * t) + noise;
    double r = 0.5 * std::sin(2 * M_PI * 660 * t) + 0.35 * sweep + noise;
    v[2 * i].Set(static_cast<int>(std::lround(std::clamp(l, -1.0, 1.0) * 524272)));
    v[2 * i + 1].Set(static_cast<int>(std::lround(std::clamp(r, -1.0, 1.0) * 524272)));
  }
  return v;
}

bool WriteWav(const char* path, const std::vector<LSF16>& data)
{
  FILE* f = fopen(path, "wb");
  if (!f) {
    return false;
  }
  auto u32 = [&](uint32_t v) { fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { fwrite(&v, 2, 1, f); };
  const uint32_t bytes = static_cast<uint32_t>(data.size() * 2);
  fwrite("RIFF", 1, 4, f);
  u32(36 + bytes);
  fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(1);
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  fwrite("data", 1, 4, f);
  u32(bytes);
  bool ok = fwrite(data.data(), 2, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
  const double minutes = argc > 1 ? atof(argv[1]) : 10.0;
  const int frames = static_cast<int>(minutes * 60 * 44100);
  const double audioSeconds = frames / 44100.0;
  std::vector<LSF16> audio = MakeAudio(frames);

  // Ours: converter chain and limiter, output to 16-bit as for the encoder.
  auto start = std::chrono::steady_clock::now();
  LSoundSource src(new Memory16Source(audio, 44100, 2));
  LSPConvertSourceRateChannels(22050, 1, src);
  src = LSPPeakLimit(LSF16::GetPeak()).OpenSource(src);
  std::vector<int> block(8192);
  std::vector<LSF16> out16(8192);
  long outFrames = 0;
  int64_t checksum = 0;
  int peak = 0;
  for (;;) {
    int n = src.Read(block.data(), 8192);
    if (n <= 0) {
      break;
    }
    peak = std::max(peak, GetBufferPeak(block.data(), n, 1));
    ConvertSamplesOut(out16.data(), block.data(), n);
    checksum += out16[n / 2].Get();
    outFrames += n;
  }
  const double ours = Seconds(start);
  printf("audio: %.1f s of 44100 Hz stereo -> 22050 Hz mono (%ld frames out, peak %d, check %lld)\n", audioSeconds,
         outFrames, peak, static_cast<long long>(checksum));
  printf("velorin converter + limiter: %.3f s, %.0f x real time\n", ours, audioSeconds / ours);

  // sox, file to file, on the same audio.
  char dir[] = "/tmp/velorin-bench-XXXXXX";
  if (!mkdtemp(dir)) {
    perror("mkdtemp");
    return 1;
  }
  std::string in = std::string(dir) + "/in.wav";
  std::string outPath = std::string(dir) + "/out.wav";
  if (!WriteWav(in.c_str(), audio)) {
    fprintf(stderr, "cannot write %s\n", in.c_str());
    return 1;
  }
  std::string cmd = "sox -q '" + in + "' -r 22050 -c 1 -b 16 '" + outPath + "'";
  start = std::chrono::steady_clock::now();
  int rc = system(cmd.c_str());
  const double sox = Seconds(start);
  if (rc != 0) {
    printf("sox failed (status %d)\n", rc);
  } else {
    printf("sox (default rate quality, file to file): %.3f s, %.0f x real time\n", sox, audioSeconds / sox);
    printf("ratio: velorin is %.2f x the speed of sox\n", sox / ours);
  }
  unlink(in.c_str());
  unlink(outPath.c_str());
  rmdir(dir);
  return rc == 0 ? 0 : 1;
}
