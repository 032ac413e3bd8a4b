#pragma once
// A listener's position in one queue's ring and the protocol that streams
// the ring to the listener.
//
// A new listener starts 32 chunks behind the newest, so its first reads
// deliver the most recent chunks at once and it then follows live.  Chunks
// are copied out of the ring before they are sent: a listener that has
// fallen a whole ring behind (the writer never waits for anyone) finds its
// next chunk overwritten, or being overwritten while it copies, and is
// moved forward to live instead of being sent stale or torn bytes.
#include <cstdint>
#include <sched.h>

#include "audio/audioqueue.h"
#include "base/processresult.h"

// A listener's send of one chunk may make no progress for this long.
inline constexpr int kListenerSendTimeoutMs = 10000;
// How far behind the newest chunk a new listener starts.
inline constexpr int kListenerStartBehind = 32;
// A caught-up listener looks at its stop request at least this often.
inline constexpr unsigned int kListenerWaitSliceMs = 200;

enum class LListenerRead {
  Chunk,      // the next chunk was copied out
  CaughtUp,   // nothing new yet
  Overtaken,  // the listener was a ring behind: now positioned at live
};

// Used by one listener thread; the queue may be written meanwhile.
class LAudioListener {
public:
  explicit LAudioListener(const LAudioQueue& queue);

  LAudioListener(const LAudioListener&) = delete;
  LAudioListener& operator=(const LAudioListener&) = delete;

  // Copies the chunk after the last one read into out (kSlotBytes bytes)
  // and sets length (0 for a chunk without data).
  LListenerRead ReadNext(unsigned char* out, int& length);
  // Sleeps until the ring advances past the position or ms elapse.
  void WaitForData(unsigned int ms) const;

  // Number of the last chunk read (see LAudioQueue::GetPublished).
  uint64_t GetPosition() const { return position_; }
  // Times the listener was moved to live.
  unsigned long GetOvertakenCount() const { return overtaken_; }

private:
  void MoveToLive();

  const LAudioQueue& queue_;
  uint64_t position_;
  unsigned long overtaken_ = 0;
};

// Streams the queue to one listener until a send fails or the process is
// asked to stop: each chunk is handed to send(const void* data, unsigned
// int size) -> LProcessResult as soon as it is published (the caller sends
// with a kListenerSendTimeoutMs time-out), the processor is yielded after
// each send, and a caught-up listener sleeps until the ring advances.
// Returns kProcessStopped or the failed send's result.  Runs on the
// listener's connection thread.
template <class P, class Send>
LProcessResult LAudioQueueFollow(P& process, const LAudioQueue& queue, Send&& send)
{
  LAudioListener listener(queue);
  alignas(8) unsigned char chunk[LAudioQueue::kSlotBytes];
  while (!process.IsToStop()) {
    int length = 0;
    switch (listener.ReadNext(chunk, length)) {
    case LListenerRead::Chunk:
      if (length > 0) {
        LProcessResult sent = send(static_cast<const void*>(chunk), static_cast<unsigned int>(length));
        if (sent != kProcessDone)
          return sent;
        sched_yield();
      }
      break;
    case LListenerRead::Overtaken:
      break;
    case LListenerRead::CaughtUp:
      listener.WaitForData(kListenerWaitSliceMs);
      break;
    }
  }
  return kProcessStopped;
}
