#pragma once
// Waiting for a signal object through any process interface.  An LThread
// waits on the signal and its own stop signal together; other interfaces
// (a progress dialog) wait in their own way, so the wait is theirs.

#include "base/processresult.h"
#include "base/signalobject.h"

// 0 when the signal is set within ms, 1 when the interface was asked to
// stop, 2 on time-out.
template <class P>
LProcessResult ProcessWaitSignal(P& process, LSignalObjectRef signal, unsigned int ms)
{
  return process.ProcessWaitSignal(signal, ms);
}
