#include "net/netbase.h"

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

void LIPSystemStartup() {}

void LIPSystemShutDown() {}

LIPSocketRef::LIPSocketRef(int descriptor) : socket_(descriptor)
{
  if (socket_ != -1)
    SetNonBlocking();
}

bool LIPSocketRef::SetNonBlocking()
{
  int on = 1;
  return ioctl(socket_, FIONBIO, &on) == 0;
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
