#pragma once

// flock() that retries while the file is locked elsewhere, for as long as a
// schedule of pauses of limit/32 + 1 ms doubling each time lasts, giving up
// once the doubled pause reaches the limit (for 10000 ms: after about
// 9703 ms).  Within that time the lock is tried every few milliseconds, not
// only at the ends of the pauses: a process that takes the lock again and
// again would otherwise starve a waiter that looks only now and then, which
// then goes on without the lock and can lose another writer's change.
// operation is LOCK_SH or LOCK_EX (always tried non-blocking).  Returns 0
// when the lock is held, -1 otherwise (errno EWOULDBLOCK after the time
// limit).  Blocks the calling thread with Sleep.
int flocktimed(int fd, int operation, unsigned int timeLimitMs);
