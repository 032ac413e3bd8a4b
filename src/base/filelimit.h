#pragma once
#include <sys/resource.h>

// Raises this process's limit of open files: every listener holds a socket
// and its thread's stop signal, and the usual soft limit of 1024 would
// refuse connections long before memory or processor run short.  A
// privileged process lifts a hard limit below 65536 to that; any other
// takes its soft limit up to its hard limit.  Nothing in the program uses
// select(), so descriptors above 1023 are safe.  Returns the limit now in
// force (0 when it is unknown).
rlim_t LRaiseOpenFileLimit();
