// How much audio a queue's ring holds, and how much of it a new listener's
// 32-chunk start burst carries, at the two usual rates: the real encoder
// fed 100 ms capture blocks of a tone in real time, then the ring's chunk
// lengths read back.  The MP3 is constant-rate, so bytes give seconds.
//
// Needs the encoder component installed; run it isolated:
//   tests/isolate build-rel build-rel/bench/ring_span [seconds]
//
// bench-links: velorin_audio
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

#include "audio/audiolistener.h"
#include "audio/audioqueue.h"
#include "audio/soundbase.h"

namespace {

constexpr int kBlockFrames = 4410;
constexpr int kRates[] = {24, 56};

// Seconds of audio in the newest `chunks` chunks of the ring.
double NewestSeconds(const LAudioQueue& queue, int chunks, int kbps)
{
  long bytes = 0;
  const unsigned char newest = queue.GetCurrentIndex();
  for (int i = 0; i < chunks; ++i)
    bytes += queue.GetLength(static_cast<unsigned char>((newest + LAudioQueue::kSlots - i) % LAudioQueue::kSlots));
  return bytes * 8.0 / (kbps * 1000.0);
}

}  // namespace

int main(int argc, char** argv)
{
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  std::vector<std::unique_ptr<LAudioQueue>> queues;
  for (int kbps : kRates) {
    queues.push_back(std::make_unique<LAudioQueue>());
    queues.back()->Start(kbps);
    if (queues.back()->GetEncoderPid() < 0) {
      std::fprintf(stderr, "ring_span: the encoder component is not installed\n");
      return 1;
    }
  }
  std::vector<int> block(kBlockFrames * 2);
  const int blocks = static_cast<int>(seconds * 10);
  auto next = std::chrono::steady_clock::now();
  long frame = 0;
  for (int b = 0; b < blocks; ++b) {
    for (int i = 0; i < kBlockFrames; ++i, ++frame) {
      const double x = 0.3 * std::sin(2 * std::numbers::pi * 440.0 * frame / 44100.0);
      block[2 * i] = block[2 * i + 1] = static_cast<int>(x * 32767) * 16;
    }
    for (auto& queue : queues)
      queue->Write(block.data(), kBlockFrames);
    next += std::chrono::milliseconds(100);
    std::this_thread::sleep_until(next);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::printf("%-6s %-10s %-14s %-14s %-16s\n", "kbit/s", "chunks/s", "bytes/chunk", "ring span s", "32-chunk burst s");
  for (size_t q = 0; q < queues.size(); ++q) {
    const LAudioQueue& queue = *queues[q];
    const int kbps = kRates[q];
    const double span = NewestSeconds(queue, LAudioQueue::kSlots, kbps);
    std::printf("%-6d %-10.2f %-14.1f %-14.2f %-16.2f\n", kbps, queue.GetPublished() / seconds,
                kbps * 1000.0 / 8 * span / LAudioQueue::kSlots, span, NewestSeconds(queue, kListenerStartBehind, kbps));
  }
  return 0;
}
