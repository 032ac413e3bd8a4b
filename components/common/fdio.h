#pragma once
#include <cstddef>
#include <sys/types.h>

// One read, retried when a signal interrupts it.  0 means end of input.
ssize_t ReadSome(int fd, void* data, size_t size);

// Writes all bytes, continuing after short writes and interruptions.
// False on error; errno tells which (EPIPE when the reader has gone).
bool WriteAll(int fd, const void* data, size_t size);
