#pragma once

// flock() that retries while the file is locked elsewhere: first try at
// once, then after pauses of limit/32 + 1 ms doubling each time, giving up
// once the doubled pause reaches the limit (for 10000 ms: tries at 0, 313,
// 939, 2191 and 4695 ms, gives up at about 9703 ms).  operation is LOCK_SH
// or LOCK_EX (always tried non-blocking).  Returns 0 when the lock is held,
// -1 otherwise (errno EWOULDBLOCK after the time limit).  Blocks the calling
// thread with Sleep.
int flocktimed(int fd, int operation, unsigned int timeLimitMs);
