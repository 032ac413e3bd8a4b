#pragma once
// A reader that follows one queue on its own thread with the listener
// protocol: batches go to send as soon as the ring holds them and a
// caught-up reader sleeps until the ring advances.  For tests and benches
// that look at the ring without sockets (the product streams sockets
// through the fan-out).  Returns kProcessStopped or the failed send's
// result.
#include "audio/audiolistener.h"

// A caught-up reader looks at its stop request at least this often.
inline constexpr unsigned int kFollowWaitSliceMs = 200;

template <class P, class Send>
LProcessResult FollowQueue(P& process, const LAudioQueue& queue, Send&& send)
{
  LAudioListener listener(queue);
  alignas(8) unsigned char batch[kListenerBatchBytes];
  for (;;) {
    int chunks = 0;
    LProcessResult result = LAudioListenerSendBacklog(process, listener, batch, send, chunks);
    if (result != kProcessDone)
      return result;
    listener.WaitForData(kFollowWaitSliceMs);
  }
}
