#include "audio/audiolistener.h"

LAudioListener::LAudioListener(const LAudioQueue& queue) : queue_(queue)
{
  // Chunks before the first are the never-filled slots of a new ring: there
  // is nothing to send for them.
  const uint64_t published = queue_.GetPublished();
  position_ = published > kListenerStartBehind ? published - kListenerStartBehind : 0;
  queue_.GetListenerStats().Join();
}

LAudioListener::LAudioListener(LAudioListener& from)
    : queue_(from.queue_), icy_(from.icy_), position_(from.position_), overtaken_(from.overtaken_)
{
  from.counted_ = false;
}

LAudioListener::~LAudioListener()
{
  if (counted_)
    queue_.GetListenerStats().Leave();
}

LListenerRead LAudioListener::ReadNext(unsigned char* out, int& length)
{
  length = 0;
  const uint64_t published = queue_.GetPublished();
  if (published == position_)
    return LListenerRead::CaughtUp;
  if (published - position_ > LAudioQueue::kSlots) {
    MoveToLive();
    return LListenerRead::Overtaken;
  }
  const int copied = queue_.CopyChunk(position_ + 1, out);
  if (copied < 0) {
    // Refilled while it was copied: the writer has lapped this listener.
    MoveToLive();
    return LListenerRead::Overtaken;
  }
  ++position_;
  length = copied;
  return LListenerRead::Chunk;
}

LListenerBatch LAudioListener::Gather(unsigned char* out, int capacity)
{
  LListenerBatch batch;
  const int audioCapacity = icy_ != nullptr ? capacity - icy_->GetMaxGrowth(capacity) : capacity;
  while (batch.size + LAudioQueue::kSlotBytes <= audioCapacity) {
    int length = 0;
    const LListenerRead read = ReadNext(out + batch.size, length);
    if (read == LListenerRead::CaughtUp) {
      batch.caughtUp = true;
      break;
    }
    if (read == LListenerRead::Chunk) {
      batch.size += length;
      ++batch.chunks;
    }
  }
  if (batch.size > 0) {
    queue_.GetListenerStats().AddSent(static_cast<uint64_t>(batch.size));
    if (icy_ != nullptr)
      batch.size = icy_->Frame(out, batch.size, capacity);
  }
  return batch;
}

void LAudioListener::WaitForData(unsigned int ms) const
{
  const LWakeWord& wake = queue_.GetWakeWord();
  const uint32_t seen = wake.Load();
  if (queue_.GetPublished() != position_)
    return;
  wake.WaitChange(seen, ms);
}

void LAudioListener::MoveToLive()
{
  position_ = queue_.GetPublished();
  ++overtaken_;
}
