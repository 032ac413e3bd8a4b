#pragma once
// Streams one encoder queue to a listener's socket.  The connection thread
// sends the start burst itself, in batches of one send call each with a
// kListenerSendTimeoutMs time-out, so a listener whose connection takes
// nothing for that long is dropped; then it parks the caught-up listener
// with the queue's fan-out (LAudioFanout), which sends it the rest of the
// stream, and sleeps until the stream ends.  Runs on the listener's
// connection thread; process answers IsToStop() and GetStopSignal() (the
// connection thread's).  With icy (which must outlive the call) the
// listener's stream carries metadata blocks.  Returns kProcessStopped on a
// stop request or a hang-up, else kProcessFailed.
#include "audio/audiofanout.h"
#include "audio/audiolistener.h"
#include "net/processsocket.h"

template <class P>
LProcessResult ProcessSendAudioQueue(P& process, LIPSocketTCPRef socket, const LAudioQueue& queue,
                                     LIcyFramer* icy = nullptr)
{
  LAudioListener listener(queue);
  listener.SetIcyFramer(icy);
  alignas(8) unsigned char batch[kListenerBatchBytes];
  auto send = [&process, socket](const void* data, unsigned int size) {
    return ProcessSendInPieces(process, socket, data, size, kListenerSendTimeoutMs, size);
  };
  int chunks = 0;
  LProcessResult result = LAudioListenerSendBacklog(process, listener, batch, send, chunks);
  if (result != kProcessDone)
    return result;
  LParkedListener parked(socket.GetSocket(), listener, batch);
  return queue.GetFanout().Serve(parked, process.GetStopSignal());
}
