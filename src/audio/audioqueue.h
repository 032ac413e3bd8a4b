#pragma once
// One live MP3 encoder at one bit rate and the ring of its latest output.
//
// The source's capture thread writes PCM into the encoder's input; the
// queue's own thread copies whatever the encoder has produced into the next
// of 64 slots and publishes it; any number of listeners read the ring, each
// with its own position (LAudioListener).  The writer never waits for a
// listener and no lock is taken on this path.
//
// Publication: a slot's bytes and length are stored, then its sequence
// number (release), then the published count (release); a listener that
// loads the count (acquire) sees every slot up to it complete.  Each slot
// also carries the number of the chunk it holds, so a listener that copies
// a slot while the writer refills it (a listener a whole ring behind) finds
// out after the copy and never passes torn bytes on.
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/listenerstats.h"
#include "base/pipe.h"
#include "base/thread.h"
#include "base/wakeword.h"

class LAudioFanout;

class LAudioQueue : private LThread {
public:
  static constexpr int kSlots = 64;
  static constexpr int kSlotBytes = 2048;
  // Frames per encoder write: 32 768 bytes of 16-bit stereo.
  static constexpr int kMaxFramesPerWrite = 8192;
  // Bit rate before the first start.
  static constexpr int kInitialBitRate = 20;

  LAudioQueue();
  ~LAudioQueue();

  LAudioQueue(const LAudioQueue&) = delete;
  LAudioQueue& operator=(const LAudioQueue&) = delete;

  // Engine control thread.  (Re)starts the encoder at kbps and the copying
  // thread.  Without the encoder component nothing is started, silently;
  // the bit rate is stored either way.
  void Start(int kbps);
  // Engine control thread.  Stops the copying thread and closes the pipe;
  // the encoder ends and is reaped.  The ring keeps its contents.
  void Stop();

  // Capture thread.  Writes one block of interleaved stereo samples
  // (internal scale) to the encoder as 16-bit PCM; blocks while the
  // encoder's input is full.  Returns the bytes written, or -1 when the
  // encoder is not running or has exited (the block is lost; never SIGPIPE).
  int Write(const int* samples, int frames);

  // Any thread.
  int GetBitRate() const { return bitRate_.load(std::memory_order_relaxed); }

  // Listener side, any thread, no lock.
  // The slot most recently published, 0..63.
  unsigned char GetCurrentIndex() const
  {
    return static_cast<unsigned char>(GetPublished() % kSlots);
  }
  // Raw slot access.  The bytes of a slot may change while they are read
  // when the writer laps the reader; CopyChunk detects that.
  const unsigned char* GetBuffer(unsigned char index) const;
  int GetLength(unsigned char index) const;

  // Number of chunks published since construction (chunk n is in slot
  // n mod 64; the ring holds chunks GetPublished() - 63 .. GetPublished()).
  uint64_t GetPublished() const { return published_.load(std::memory_order_acquire); }
  // Copies chunk `chunk` into out (kSlotBytes).  Returns its length, or -1
  // when the ring no longer (or not yet) holds that chunk.
  int CopyChunk(uint64_t chunk, unsigned char* out) const;
  // Advanced after every publication; listeners sleep on it.
  const LWakeWord& GetWakeWord() const { return wake_; }

  // The thread that streams to this queue's caught-up socket listeners.
  LAudioFanout& GetFanout() const { return *fanout_; }

  // Whether an encoder was started and its output has not ended (any
  // thread).
  bool IsEncoderRunning() const { return encoderRunning_.load(std::memory_order_relaxed); }
  // The figures of this queue's listeners (any thread, no lock).
  LListenerStats& GetListenerStats() const { return stats_; }

  // The encoder's process id while one runs, else -1 (engine thread).
  pid_t GetEncoderPid() const { return pipe_.GetPid(); }

private:
  struct LSlot;

  // Queue thread: waits for encoder output and publishes it.
  void ThreadFunction() override;
  void Publish(const unsigned char* data, int length);

  std::atomic<int> bitRate_{kInitialBitRate};
  std::atomic<uint64_t> published_{0};
  std::atomic<bool> encoderRunning_{false};
  mutable LListenerStats stats_;
  LPipeInOut pipe_;
  std::unique_ptr<LSlot[]> slots_;
  LWakeWord wake_;
  // Last, so that it stops before the ring goes.
  std::unique_ptr<LAudioFanout> fanout_;
};
