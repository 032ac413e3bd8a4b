#include "net/netbase.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

void LIPSystemStartup() {}

void LIPSystemShutDown() {}

bool SetNonBlocking(int descriptor)
{
  int on = 1;
  return ioctl(descriptor, FIONBIO, &on) == 0;
}

bool SetCloseOnExec(int descriptor)
{
  int flags = fcntl(descriptor, F_GETFD);
  return flags >= 0 && fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC) == 0;
}

LIPSocketRef::LIPSocketRef(int descriptor) : socket_(descriptor)
{
  if (socket_ != -1)
    SetNonBlocking(socket_);
}

void LIPSocketTCP::Assign(LIPSocketTCP& other)
{
  if (&other == this)
    return;
  Close();
  socket_ = other.socket_;
  other.socket_ = -1;
}

bool LIPSocketTCP::Create()
{
  Close();
  int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0)
    return false;
  socket_ = s;
  return true;
}

void LIPSocketTCP::Close()
{
  if (socket_ != -1) {
    close(socket_);
    socket_ = -1;
  }
}
