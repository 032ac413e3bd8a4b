// Fan-out cost: N in-process listeners (default 1000) following one ring
// fed by the real encoder at 56 kbit/s in real time.  Prints the process's
// CPU time per listener beside the cost of the same listeners when a
// caught-up listener polls every 25 ms instead of sleeping until the ring
// advances, measured in the same run.  Each listener copies its chunk out
// of the ring and hands it to a send that only counts the bytes.
//
// Needs the encoder component installed; run it isolated:
//   tests/isolate build build/bench/audio_fanout [listeners] [seconds]
//
// bench-links: velorin_audio
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "../tests/audio/queuefollow.h"
#include "audio/audioqueue.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlockFrames = 4410;

double CpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct LStop {
  std::atomic<bool> stop{false};
  bool IsToStop() const { return stop.load(std::memory_order_relaxed); }
};

struct LListenerArgs {
  const LAudioQueue* queue;
  LStop* stop;
  bool polling;
  std::atomic<uint64_t>* bytes;
};

// The listener protocol with the 25 ms poll of a caught-up listener.
void FollowPolling(const LAudioQueue& queue, LStop& stop, std::atomic<uint64_t>& bytes)
{
  LAudioListener listener(queue);
  unsigned char chunk[LAudioQueue::kSlotBytes];
  while (!stop.IsToStop()) {
    int length = 0;
    LListenerRead r = listener.ReadNext(chunk, length);
    if (r == LListenerRead::Chunk) {
      bytes.fetch_add(static_cast<uint64_t>(length), std::memory_order_relaxed);
      sched_yield();
    } else if (r == LListenerRead::CaughtUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
}

void* RunListener(void* pointer)
{
  auto* args = static_cast<LListenerArgs*>(pointer);
  if (args->polling) {
    FollowPolling(*args->queue, *args->stop, *args->bytes);
  } else {
    FollowQueue(*args->stop, *args->queue, [args](const void*, unsigned int size) {
      args->bytes->fetch_add(size, std::memory_order_relaxed);
      return LProcessResult(kProcessDone);
    });
  }
  return nullptr;
}

// Feeds the queue with 100 ms blocks in real time until stopped.
class LFeeder {
public:
  explicit LFeeder(LAudioQueue& queue)
  {
    thread_ = std::thread([this, &queue] {
      std::vector<int> block(static_cast<size_t>(kBlockFrames) * 2);
      long frame = 0;
      auto next = Clock::now();
      while (!stop_.load()) {
        for (int i = 0; i < kBlockFrames; ++i, ++frame) {
          double t = static_cast<double>(frame) / 44100;
          block[2 * i] = block[2 * i + 1] = static_cast<int>(0.4 * std::sin(2 * M_PI * 440 * t) * 32767) * 16;
        }
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        queue.Write(block.data(), kBlockFrames);
      }
    });
  }
  ~LFeeder()
  {
    stop_ = true;
    thread_.join();
  }

private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct LRun {
  double cpuSeconds;
  uint64_t bytes;
};

// CPU seconds used by the whole process over `seconds` with `count`
// listeners attached (the feeder and the queue thread included).
LRun Measure(const LAudioQueue& queue, int count, bool polling, double seconds)
{
  LStop stop;
  std::atomic<uint64_t> bytes{0};
  std::vector<LListenerArgs> args(static_cast<size_t>(count), LListenerArgs{&queue, &stop, polling, &bytes});
  std::vector<pthread_t> threads;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  for (LListenerArgs& a : args) {
    pthread_t t;
    if (pthread_create(&t, &attr, RunListener, &a) == 0)
      threads.push_back(t);
  }
  pthread_attr_destroy(&attr);
  std::this_thread::sleep_for(std::chrono::seconds(1));  // past the start-up burst
  const uint64_t bytesBefore = bytes.load();
  const double before = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  LRun run{CpuSeconds() - before, bytes.load() - bytesBefore};
  stop.stop = true;
  for (pthread_t t : threads)
    pthread_join(t, nullptr);
  if (threads.size() != static_cast<size_t>(count))
    std::fprintf(stderr, "only %zu listener threads started\n", threads.size());
  return run;
}

}  // namespace

int main(int argc, char** argv)
{
  const int listeners = argc > 1 ? std::atoi(argv[1]) : 1000;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10;
  LAudioQueue queue;
  queue.Start(56);
  if (queue.GetEncoderPid() <= 0) {
    std::fprintf(stderr, "encoder component not found (run through tests/isolate)\n");
    return 2;
  }
  LFeeder feeder(queue);
  std::this_thread::sleep_for(std::chrono::seconds(1));

  const LRun base = Measure(queue, 0, false, seconds);
  const LRun woken = Measure(queue, listeners, false, seconds);
  const LRun polled = Measure(queue, listeners, true, seconds);
  queue.Stop();

  auto report = [&](const char* label, const LRun& run) {
    const double perListener = (run.cpuSeconds - base.cpuSeconds) / listeners / seconds;
    std::printf("%-30s listeners=%d cpu_s=%.3f cpu_per_listener_pct=%.4f us_per_listener_s=%.1f "
                "delivered_kB_s_per_listener=%.2f\n",
                label, listeners, run.cpuSeconds, perListener * 100, perListener * 1e6,
                static_cast<double>(run.bytes) / listeners / seconds / 1000);
  };
  std::printf("one 56 kbit/s ring, %g s, baseline (feeder and queue thread) cpu_s=%.3f\n", seconds, base.cpuSeconds);
  report("sleep until the ring advances", woken);
  report("poll every 25 ms", polled);
  return 0;
}
