#pragma once
#include <cstddef>
#include <sys/types.h>

// One read that is retried when a signal interrupts it, unless the signal
// was a stop request (then -1 with errno EINTR).  0 means end of input.
ssize_t ReadSome(int fd, void* data, size_t size);

// Writes all bytes, continuing after short writes and interruptions other
// than a stop request.  False on error; errno tells which (EPIPE when the
// reader has gone).
bool WriteAll(int fd, const void* data, size_t size);
