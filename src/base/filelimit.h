#pragma once
#include <sys/resource.h>

// Raises this process's limit of open files to the most the system allows
// it (the hard limit): every listener holds a socket, and the usual soft
// limit of 1024 would refuse connections long before memory or processor
// run short.  Nothing in the program uses select(), so descriptors above
// 1023 are safe.  Returns the limit now in force (0 when it is unknown).
rlim_t LRaiseOpenFileLimit();
