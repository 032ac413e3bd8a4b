// Latency of the live path: from a 100 ms capture block entering a
// streaming source (LAudioStreamingSource::Write, as the capture thread
// calls it) to the first MP3 bytes published in each of its two rings.
// Beside it, in the same run: the same encoder read by a thread that polls
// every 25 ms when the encoder has nothing (the reading scheme the queue's
// wake-up on readable output replaces).
//
// Needs the encoder component installed; run it isolated:
//   tests/isolate build build/bench/audio_latency [blocks]
//
// bench-links: velorin_audio
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/audiostreamingsource.h"
#include "audio/mp3encode.h"
#include "audio/soundbase.h"
#include "audio/soundrecllalsa.h"
#include "base/pipe.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlockFrames = 4410;

double Ms(Clock::duration d)
{
  return std::chrono::duration<double, std::milli>(d).count();
}

// Records the time of every publication of one ring.
class LRingWatch {
public:
  explicit LRingWatch(const LAudioQueue& queue) : queue_(queue)
  {
    thread_ = std::thread([this] {
      uint64_t seen = queue_.GetPublished();
      while (!stop_.load()) {
        const uint32_t word = queue_.GetWakeWord().Load();
        const uint64_t now = queue_.GetPublished();
        if (now != seen) {
          seen = now;
          times_.push_back(Clock::now());
          continue;
        }
        queue_.GetWakeWord().WaitChange(word, 200);
      }
    });
  }
  std::vector<Clock::time_point> Stop()
  {
    stop_ = true;
    thread_.join();
    return times_;
  }

private:
  const LAudioQueue& queue_;
  std::atomic<bool> stop_{false};
  std::vector<Clock::time_point> times_;
  std::thread thread_;
};

// The polling reader: the same encoder process, looked at every 25 ms
// whenever it had nothing.
class LPollingReader {
public:
  bool Start(int kbps)
  {
    char line[kEncoderCommandLineSize];
    if (!Mp3CreateLiveCommandLine(line, kbps) || !pipe_.Open(line))
      return false;
    thread_ = std::thread([this] {
      unsigned char buffer[2048];
      while (!stop_.load()) {
        if (pipe_.GetBytesReady() == 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(25));
          continue;
        }
        pipe_.Read(buffer, sizeof buffer);
        times_.push_back(Clock::now());
      }
    });
    return true;
  }
  int Write(const int* samples, int frames)
  {
    std::vector<LSF16> pcm(static_cast<size_t>(frames) * 2);
    ConvertSamplesOut<LSF16>(pcm.data(), samples, frames * 2);
    return pipe_.Write(pcm.data(), static_cast<unsigned int>(pcm.size() * sizeof(LSF16)));
  }
  std::vector<Clock::time_point> Stop()
  {
    stop_ = true;
    thread_.join();
    pipe_.Close();
    return times_;
  }

private:
  LPipeInOut pipe_;
  std::atomic<bool> stop_{false};
  std::vector<Clock::time_point> times_;
  std::thread thread_;
};

// For each write, the delay to the first publication at or after it.
std::vector<double> Latencies(const std::vector<Clock::time_point>& writes,
                              const std::vector<Clock::time_point>& published)
{
  std::vector<double> out;
  size_t p = 0;
  for (Clock::time_point w : writes) {
    while (p < published.size() && published[p] < w)
      ++p;
    if (p < published.size())
      out.push_back(Ms(published[p] - w));
  }
  return out;
}

void Report(const char* label, std::vector<double> ms)
{
  if (ms.empty()) {
    std::printf("%-34s no output\n", label);
    return;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) {
    return ms[std::min(ms.size() - 1, static_cast<size_t>(q * static_cast<double>(ms.size())))];
  };
  std::printf("%-34s blocks=%zu median_ms=%.2f p99_ms=%.2f max_ms=%.2f\n", label, ms.size(), at(0.5), at(0.99),
              ms.back());
}

void NoReport(const char*) {}

}  // namespace

int main(int argc, char** argv)
{
  const int blocks = argc > 1 ? std::atoi(argv[1]) : 300;
  // No sound card here: the source's own capture fails quietly and the
  // benchmark plays the capture thread.
  LSetSoundOpenFailureReporter(&NoReport);
  LAudioStreamingSource source;
  source.Start(0);
  LAudioQueue* dialUp = source.GetAudioQueue(0);
  LAudioQueue* broadBand = source.GetAudioQueue(1000);
  if (dialUp->GetEncoderPid() <= 0 || broadBand->GetEncoderPid() <= 0) {
    std::fprintf(stderr, "encoder component not found (run through tests/isolate)\n");
    return 2;
  }
  LPollingReader polledDialUp, polledBroadBand;
  if (!polledDialUp.Start(24) || !polledBroadBand.Start(56))
    return 2;
  LRingWatch watchDialUp(*dialUp), watchBroadBand(*broadBand);

  // A programme-like block: two tones that drift, so each block differs.
  std::vector<int> block(static_cast<size_t>(kBlockFrames) * 2);
  std::vector<Clock::time_point> writes, polledWrites;
  auto next = Clock::now();
  long frame = 0;
  for (int b = 0; b < blocks; ++b) {
    for (int i = 0; i < kBlockFrames; ++i, ++frame) {
      double t = static_cast<double>(frame) / 44100;
      double v = 0.3 * std::sin(2 * M_PI * (440 + 50 * std::sin(t)) * t) + 0.2 * std::sin(2 * M_PI * 1250 * t);
      block[2 * i] = block[2 * i + 1] = static_cast<int>(v * 32767) * 16;
    }
    next += std::chrono::milliseconds(100);
    std::this_thread::sleep_until(next);
    writes.push_back(Clock::now());
    source.Write(block.data(), kBlockFrames);
    polledWrites.push_back(Clock::now());
    polledDialUp.Write(block.data(), kBlockFrames);
    polledBroadBand.Write(block.data(), kBlockFrames);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::vector<Clock::time_point> dialUpTimes = watchDialUp.Stop();
  std::vector<Clock::time_point> broadBandTimes = watchBroadBand.Stop();
  source.Stop();
  std::vector<Clock::time_point> polledDialUpTimes = polledDialUp.Stop();
  std::vector<Clock::time_point> polledBroadBandTimes = polledBroadBand.Stop();

  // The first blocks fill the encoder's look-ahead; judge the steady state.
  const size_t skip = std::min<size_t>(10, writes.size());
  writes.erase(writes.begin(), writes.begin() + static_cast<long>(skip));
  polledWrites.erase(polledWrites.begin(), polledWrites.begin() + static_cast<long>(skip));
  std::printf("block entering the source -> first MP3 bytes in the ring\n");
  Report("ring, wake on output, 24 kbit/s", Latencies(writes, dialUpTimes));
  Report("ring, wake on output, 56 kbit/s", Latencies(writes, broadBandTimes));
  Report("polled every 25 ms, 24 kbit/s", Latencies(polledWrites, polledDialUpTimes));
  Report("polled every 25 ms, 56 kbit/s", Latencies(polledWrites, polledBroadBandTimes));
  return 0;
}
