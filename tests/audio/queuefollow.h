#pragma once
// Follows one queue with the listener protocol, without sockets (for tests and benches): batches go to
// `send` as the ring holds them, a caught-up reader sleeps.  Returns kProcessStopped or the failed send's result.
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
