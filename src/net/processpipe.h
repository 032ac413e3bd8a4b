#pragma once
// Cooperative sends and receives on a local control pipe.  They return the
// LProcessResult code as a plain int: 0 done, 1 stopped, 2 failed (idle
// time-out, end of stream, pipe error).  Each call is made by one thread at
// a time on a given pipe.

#include "base/pipenamed.h"
#include "base/processresult.h"

class LThread;

// Sends all size bytes, offering the whole rest to each send; after a
// partial or blocked send it waits for writability in 200 ms slices, each
// idle slice charged to the time-out.
int ProcessSend(LProcessInterfaceVoid& process, LNamedPipeRef pipe, const void* data, unsigned int size, int timeout);

// Receives exactly size bytes, in 200 ms slices charged to the time-out
// while nothing arrives.
int ProcessRecvBytes(LProcessInterfaceVoid& process, LNamedPipeRef pipe, void* buffer, unsigned int size, int timeout);

// Receives exactly size bytes without a time-out, for a thread that reads
// a pipe until it is stopped: the wait covers the pipe and the thread's
// stop signal together, so a stop ends it at once (1).
int ProcessRecvBytes(LThread& thread, LNamedPipeRef pipe, void* buffer, unsigned int size);
// The LProcessInterfaceVoid form with the thread's stop request asked
// before every 200 ms slice.
int ProcessRecvBytes(LThread& thread, LNamedPipeRef pipe, void* buffer, unsigned int size, int timeout);
