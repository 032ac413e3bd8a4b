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
//
// Supervision: an encoder that exits or is killed while the queue runs is
// started again by the queue's thread, after kEncoderRestartFirstMs and,
// when it keeps dying soon after each start, after a pause that doubles up
// to kEncoderRestartMaxMs.  Each death is logged once.  The ring goes on
// from where it was, so the listeners that stayed hear the new encoder.
// Output is published in whole MP3 frames: a dead encoder's torn last
// frame is dropped, and the stream runs on unbroken into the new one's.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sys/types.h>

#include "audio/listenerstats.h"
#include "audio/mp3encode.h"
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
  // Pause before a dead encoder is started again; doubled for each death
  // within kEncoderStableMs of its start, up to kEncoderRestartMaxMs.
  static constexpr unsigned int kEncoderRestartFirstMs = 250;
  static constexpr unsigned int kEncoderRestartMaxMs = 30000;
  static constexpr int64_t kEncoderStableMs = 5000;

  LAudioQueue();
  ~LAudioQueue();

  LAudioQueue(const LAudioQueue&) = delete;
  LAudioQueue& operator=(const LAudioQueue&) = delete;

  // Engine control thread.  (Re)starts the encoder at kbps and the copying
  // thread.  Without the encoder component nothing is started, silently;
  // the bit rate is stored either way.
  void Start(int kbps);
  // Engine control thread.  Stops the copying thread and closes the pipe;
  // the encoder ends and is reaped.  The ring keeps its contents and its
  // listeners, so a restart does not cut them (see LAudioFanout::EndAll).
  void Stop();

  // Capture thread.  Writes one block of interleaved stereo samples
  // (internal scale) to the encoder as 16-bit PCM; blocks while the
  // encoder's input is full.  Returns the bytes written, or -1 when the
  // encoder is not running or has exited (the block is lost; never SIGPIPE).
  // Takes pipeLock_ (the queue thread holds it while it restarts a dead
  // encoder).
  int Write(const int* samples, int frames);

  // Any thread.
  int GetBitRate() const { return bitRate_.load(std::memory_order_relaxed); }

  // Listener side, any thread, no lock.
  // The slot most recently published, 0..63.
  unsigned char GetCurrentIndex() const { return static_cast<unsigned char>(GetPublished() % kSlots); }
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

  // The owner of this queue's caught-up socket listeners.
  LAudioFanout& GetFanout() const { return *fanout_; }

  // Whether an encoder runs now: false before the first start, while a
  // dead one waits to be started again, and after Stop (any thread).
  bool IsEncoderRunning() const { return GetEncoderPid() > 0; }
  // The figures of this queue's listeners (any thread, no lock).
  LListenerStats& GetListenerStats() const { return stats_; }

  // The encoder's (shell's) process id while one runs, else -1.  Any thread.
  pid_t GetEncoderPid() const { return encoderPid_.load(std::memory_order_acquire); }

private:
  struct LSlot;

  // Queue thread: waits for encoder output and publishes it.
  void ThreadFunction() override;
  void Publish(const unsigned char* data, int length);
  // Queue thread: the encoder's output has ended.  Logs the death, waits
  // out the back-off and starts the encoder again; false on a stop request.
  bool RestartEncoder();
  // Under pipeLock_: (re)opens the pipe on commandLine_.
  bool OpenEncoder();

  std::atomic<int> bitRate_{kInitialBitRate};
  std::atomic<uint64_t> published_{0};
  mutable LListenerStats stats_;
  // Held by Write, by Open/Close of the pipe and by the restart.
  std::mutex pipeLock_;
  LPipeInOut pipe_;
  std::atomic<pid_t> encoderPid_{-1};
  // Written by Start before the thread runs; read by the thread.
  char commandLine_[kEncoderCommandLineSize] = "";
  int64_t encoderStartedMs_ = 0;
  unsigned int restartDelayMs_ = kEncoderRestartFirstMs;
  std::unique_ptr<LSlot[]> slots_;
  LWakeWord wake_;
  // Last, so that it stops before the ring goes.
  std::unique_ptr<LAudioFanout> fanout_;
};
