#pragma once

// Makes SIGINT, SIGTERM and SIGHUP set a flag instead of killing the
// process, so that a component can remove what it half wrote before it
// exits, and ignores SIGPIPE, so that a vanished reader shows up as EPIPE
// on write (SIGXFSZ likewise, for EFBIG).  The handlers do not restart system calls: a blocked read or
// write returns EINTR and the loop sees the flag.
void InstallStopSignals();

// True once one of the stop signals has arrived.
bool StopRequested();
