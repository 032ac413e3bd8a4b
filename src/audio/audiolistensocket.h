#pragma once
// The start burst of one listener's socket: everything the ring holds for
// the new listener, sent by its connection thread in batches of one send
// call each with a kListenerSendTimeoutMs time-out, so a listener whose
// connection takes nothing for that long is dropped.  The caught-up
// listener then goes to the queue's fan-out (LAudioFanout::Adopt), which
// owns it from there on.  process answers IsToStop() (the connection
// thread).  Returns kProcessDone once caught up, kProcessStopped on a stop
// request, else kProcessFailed.  A listener with a framer (SetIcyFramer)
// gets its metadata blocks in the burst as in the rest of its stream.
#include "audio/audiolistener.h"
#include "net/processsocket.h"

template <class P>
LProcessResult ProcessSendAudioBurst(P& process, LIPSocketTCPRef socket, LAudioListener& listener)
{
  alignas(8) unsigned char batch[kListenerBatchBytes];
  auto send = [&process, socket](const void* data, unsigned int size) {
    return ProcessSendInPieces(process, socket, data, size, kListenerSendTimeoutMs, size);
  };
  int chunks = 0;
  return LAudioListenerSendBacklog(process, listener, batch, send, chunks);
}
