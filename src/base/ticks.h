#pragma once
#include <cstdint>

// Sleeps the calling thread for ms milliseconds; not ended by stop requests
// (a worker that must answer its stop request uses LThread::Wait instead).
void Sleep(unsigned int ms);

// Wall-clock milliseconds (seconds * 1000 + microseconds / 1000) as an
// unsigned 32-bit number that wraps; compare differences, never absolutes.
uint32_t GetTickCount();

// Milliseconds of the monotonic clock: for time-outs and intervals, which a
// change of the wall clock must not stretch or cut short.
int64_t GetMonotonicMs();
