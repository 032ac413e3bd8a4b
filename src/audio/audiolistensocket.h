#pragma once
// Streams one encoder queue to a listener's socket: the listener protocol
// of LAudioQueueFollow with each chunk sent by ProcessSend and a
// kListenerSendTimeoutMs time-out, so a listener whose connection takes
// nothing for that long is dropped.  Runs on the listener's connection
// thread; process answers IsToStop() (the connection thread).
#include "audio/audiolistener.h"
#include "net/processsocket.h"

template <class P>
LProcessResult ProcessSendAudioQueue(P& process, LIPSocketTCPRef socket, const LAudioQueue& queue)
{
  return LAudioQueueFollow(process, queue, [&process, socket](const void* data, unsigned int size) {
    return ProcessSend(process, socket, data, size, kListenerSendTimeoutMs);
  });
}
