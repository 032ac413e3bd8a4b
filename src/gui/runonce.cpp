#include "gui/runonce.h"

#include "base/file.h"
#include "base/stringtools.h"
#include "base/ticks.h"
#include "net/socketwait.h"
#include "settings/log.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <vector>

namespace {

bool MakeAddress(const char* path, sockaddr_un& address)
{
  address = {};
  address.sun_family = AF_UNIX;
  tstrlcpy(address.sun_path, path, sizeof address.sun_path);
  return true;
}

bool SendAll(int fd, const void* data, std::size_t size)
{
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t sent = send(fd, p, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR)
      continue;
    if (sent <= 0)
      return false;
    p += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

// Reads exactly size bytes before the deadline (monotonic ms).
bool RecvAll(int fd, void* data, std::size_t size, int64_t deadline)
{
  char* p = static_cast<char*>(data);
  while (size > 0) {
    int64_t left = deadline - GetMonotonicMs();
    if (left <= 0 || LWaitReadable(fd, static_cast<int>(left)) != LWaitResult::Ready)
      return false;
    ssize_t got = recv(fd, p, size, 0);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    p += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool SendArguments(int fd, int argc, const char* const* argv)
{
  int32_t count = argc;
  if (!SendAll(fd, &count, sizeof count))
    return false;
  for (int i = 0; i < argc; ++i) {
    std::size_t bytes = std::strlen(argv[i]);
    int32_t length = static_cast<int32_t>(bytes);
    if (!SendAll(fd, &length, sizeof length) || !SendAll(fd, argv[i], bytes))
      return false;
  }
  return true;
}

}  // namespace

void LRunOnceSocket::Close()
{
  if (watch_ != 0)
    g_source_remove(watch_);
  watch_ = 0;
  if (channel_ != nullptr) {
    // Shutting the channel down closes the descriptor.
    g_io_channel_shutdown(channel_, FALSE, nullptr);
    g_io_channel_unref(channel_);
    channel_ = nullptr;
    socket_.Release();
  }
  socket_.Reset();
  if (listening_)
    LFile::DeleteFile(path_);
  listening_ = false;
}

bool LRunOnceSocket::Take(int argc, const char* const* argv)
{
  char home[260];
  LFile::MakeFilePath(path_, LFile::GetUserDataFolder(home), ".Velorin.runonce");
  sockaddr_un address;
  MakeAddress(path_, address);
  socket_.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (bind(socket_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    LUniqueFD peer(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (connect(peer.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      SendArguments(peer.Get(), argc, argv);
      socket_.Reset();
      return false;
    }
    // Nobody answers: the file is left from an instance that ended without
    // deleting it.
    LFile::DeleteFile(path_);
    bind(socket_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  listening_ = listen(socket_.Get(), 5) == 0;
  return true;
}

void LRunOnceSocket::Watch(LRunOnceTarget& target)
{
  if (!listening_)
    return;
  target_ = &target;
  channel_ = g_io_channel_unix_new(socket_.Get());
  watch_ = g_io_add_watch(channel_, G_IO_IN, &LRunOnceSocket::GSRunOnceServerCallback, this);
}

gboolean LRunOnceSocket::GSRunOnceServerCallback(GIOChannel*, GIOCondition, gpointer self)
{
  static_cast<LRunOnceSocket*>(self)->AcceptOne();
  // A bad message never ends the watch: later starts are still answered.
  return TRUE;
}

void LRunOnceSocket::AcceptOne()
{
  LUniqueFD peer(accept4(socket_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!peer.IsValid())
    return;
  const int64_t deadline = GetMonotonicMs() + kReceiveTimeoutMs;
  int32_t count = 0;
  if (!RecvAll(peer.Get(), &count, sizeof count, deadline) || count < 0 || count > kMaxArguments) {
    LOGWARN("Dropped a malformed message from a second start");
    return;
  }
  std::vector<std::string> args(static_cast<std::size_t>(count));
  for (std::string& arg : args) {
    int32_t length = 0;
    if (!RecvAll(peer.Get(), &length, sizeof length, deadline) || length < 0 || length > kMaxArgumentBytes) {
      LOGWARN("Dropped a malformed message from a second start");
      return;
    }
    arg.resize(static_cast<std::size_t>(length));
    if (length > 0 && !RecvAll(peer.Get(), arg.data(), arg.size(), deadline)) {
      LOGWARN("Dropped a malformed message from a second start");
      return;
    }
  }
  peer.Reset();
  std::vector<const char*> pointers;
  for (const std::string& arg : args)
    pointers.push_back(arg.c_str());
  target_->EvRunArguments(pointers.data(), count);
  if (count < 2)
    target_->CmOpen();
}
