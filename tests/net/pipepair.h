#pragma once
// Both ends of a control pipe: connected, non-blocking Unix stream sockets,
// as the service accepts them.

#include "base/pipenamed.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

namespace nettest {

struct PipePair {
  PipePair()
  {
    int fds[2] = {-1, -1};
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    LNamedPipe x(fds[0]), y(fds[1]);
    a.Assign(x);
    b.Assign(y);
  }
  LNamedPipe a;
  LNamedPipe b;
};

} // namespace nettest
