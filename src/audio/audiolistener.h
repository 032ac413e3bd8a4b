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
//
// Chunks are sent in batches: everything the ring holds for the listener,
// up to kListenerBatchBytes, in one send.
#include <cstdint>

#include "audio/audioqueue.h"
#include "audio/icyframer.h"
#include "base/processresult.h"

// A listener's send of one batch may make no progress for this long.
inline constexpr int kListenerSendTimeoutMs = 10000;
// How far behind the newest chunk a new listener starts.
inline constexpr int kListenerStartBehind = 32;

// Bytes gathered for one send; a longer backlog (the start burst) goes out
// in several sends back to back.
inline constexpr int kListenerBatchBytes = 4 * LAudioQueue::kSlotBytes;

enum class LListenerRead {
  Chunk,      // the next chunk was copied out
  CaughtUp,   // nothing new yet
  Overtaken,  // the listener was a ring behind: now positioned at live
};

// What one Gather copied out.
struct LListenerBatch {
  int size = 0;           // bytes
  int chunks = 0;         // chunks taken, empty ones included
  bool caughtUp = false;  // the ring holds nothing more for the listener
};

// Used by one thread at a time; the queue may be written meanwhile.
class LAudioListener {
public:
  // Counts itself among the queue's listeners while it exists.
  explicit LAudioListener(const LAudioQueue& queue);
  ~LAudioListener();
  // Takes over from another listener: its position, its framer and its
  // place among the queue's listeners (from then counts no more).
  explicit LAudioListener(LAudioListener& from);

  LAudioListener(const LAudioListener&) = delete;
  LAudioListener& operator=(const LAudioListener&) = delete;

  // Copies the chunk after the last one read into out (kSlotBytes bytes)
  // and sets length (0 for a chunk without data).
  LListenerRead ReadNext(unsigned char* out, int& length);
  // Copies the following chunks, in order, into out until the listener
  // has caught up or the next chunk might not fit in capacity bytes.  With
  // a framer the batch carries the listener's metadata blocks (size counts
  // them; room is left for them).
  LListenerBatch Gather(unsigned char* out, int capacity);
  // Frames every following batch with icy (which must outlive the
  // listener), or none when null.  Before the first Gather.
  void SetIcyFramer(LIcyFramer* icy) { icy_ = icy; }
  // Sleeps until the ring advances past the position or ms elapse.
  void WaitForData(unsigned int ms) const;

  // Number of the last chunk read (see LAudioQueue::GetPublished).
  uint64_t GetPosition() const { return position_; }
  // Times the listener was moved to live.
  unsigned long GetOvertakenCount() const { return overtaken_; }

private:
  void MoveToLive();

  const LAudioQueue& queue_;
  LIcyFramer* icy_ = nullptr;
  uint64_t position_;
  unsigned long overtaken_ = 0;
  bool counted_ = true;  // among the queue's listeners
};

// Sends batches until the listener has caught up with the ring: kProcessDone
// then, else kProcessStopped or the failed send's result.  chunks counts the
// chunks taken.  send(const void* data, unsigned int size) -> LProcessResult.
template <class P, class Send>
LProcessResult LAudioListenerSendBacklog(P& process, LAudioListener& listener, unsigned char* batch, Send& send,
                                         int& chunks)
{
  for (;;) {
    if (process.IsToStop())
      return kProcessStopped;
    const LListenerBatch gathered = listener.Gather(batch, kListenerBatchBytes);
    chunks += gathered.chunks;
    if (gathered.size > 0) {
      LProcessResult sent = send(static_cast<const void*>(batch), static_cast<unsigned int>(gathered.size));
      if (sent != kProcessDone)
        return sent;
    }
    if (gathered.caughtUp)
      return kProcessDone;
  }
}
