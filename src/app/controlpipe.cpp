#include "app/controlpipe.h"

#include "base/file.h"
#include "base/signalobject.h"
#include "base/stringtools.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The path is cut to what sun_path holds; the address length is always the
// whole structure, which Linux accepts for a terminated path.
sockaddr_un MakeAddress(const char* path)
{
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  tstrlcpy(address.sun_path, path, sizeof address.sun_path);
  return address;
}

}  // namespace

void LMakeNamedPipePath(char* out, const char* name)
{
  char folder[260];
  char file[260];
  LFile::GetSharedDataFolderApp(folder);
  std::snprintf(file, sizeof file, ".spipe.%s", name);
  LFile::MakeFilePath(out, folder, file);
}

bool LConnectNamedPipe(LNamedPipe& pipe, const char* name)
{
  pipe.Close();
  char path[260];
  LMakeNamedPipePath(path, name);
  LUniqueFD socket_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket_fd.IsValid())
    return false;
  sockaddr_un address = MakeAddress(path);
  int rc;
  do {
    rc = connect(socket_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0)
    return false;
  LNamedPipe connected(socket_fd.Release());
  pipe.Assign(connected);
  return true;
}

LPipeListener::~LPipeListener()
{
  Stop();
}

bool LPipeListener::Start(const char* name)
{
  Stop();
  LMakeNamedPipePath(path_, name);
  unlink(path_);
  LUniqueFD socket_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket_fd.IsValid())
    return false;
  sockaddr_un address = MakeAddress(path_);
  if (bind(socket_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    unlink(path_);
    return false;
  }
  chmod(path_, 0777);
  if (listen(socket_fd.Get(), 5) != 0) {
    unlink(path_);
    return false;
  }
  listening_ = std::move(socket_fd);
  StartNormal();
  if (!IsRunning()) {
    CloseListeningSocket();
    return false;
  }
  return true;
}

void LPipeListener::Stop()
{
  StopThreadNow();
  // The thread closes the socket as it ends; this covers a socket whose
  // thread never started.
  CloseListeningSocket();
}

void LPipeListener::CloseListeningSocket()
{
  if (listening_.IsValid()) {
    listening_.Close();
    unlink(path_);
  }
}

void LPipeListener::ThreadFunction()
{
  const int listening = listening_.Get();
  for (;;) {
    pollfd fds[2] = {{listening, POLLIN, 0}, {GetStopSignal().GetPollFD(), POLLIN, 0}};
    if (LPollRetrying(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0 || IsToStop())
      break;
    if ((fds[0].revents & (POLLERR | POLLNVAL)) != 0)
      break;
    if ((fds[0].revents & POLLIN) == 0)
      continue;
    int accepted = accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted < 0) {
      // Out of descriptors or memory the socket stays readable: wait a
      // little instead of spinning.  Other failures (the client left before
      // the accept) need no pause.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        Wait(100);
      continue;
    }
    LServerPipe pipe(accepted);
    NewConnection(pipe);
  }
  CloseListeningSocket();
}
