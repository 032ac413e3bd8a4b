#include "base/childprocess.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

// waitpid for exactly this pid, resumed after signal interruptions.
pid_t WaitFor(pid_t pid, int* status, int options)
{
  pid_t r;
  do {
    r = waitpid(pid, status, options);
  } while (r < 0 && errno == EINTR);
  return r;
}

void SleepMs(unsigned int ms)
{
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

// Frees posix_spawn's attribute and file-action records on every path.
class LSpawnSetup {
public:
  LSpawnSetup()
  {
    attrOk_ = posix_spawnattr_init(&attr_) == 0;
    actionsOk_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~LSpawnSetup()
  {
    if (attrOk_)
      posix_spawnattr_destroy(&attr_);
    if (actionsOk_)
      posix_spawn_file_actions_destroy(&actions_);
  }
  LSpawnSetup(const LSpawnSetup&) = delete;
  LSpawnSetup& operator=(const LSpawnSetup&) = delete;

  // The child must not inherit a blocked SIGPIPE (the capture thread blocks
  // it around its writes) nor an ignored one.
  bool Prepare(int stdinFd, int stdoutFd)
  {
    if (!attrOk_ || !actionsOk_)
      return false;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    // Its own process group: a child that outstays its grace is killed
    // together with whatever the shell started.
    if (posix_spawnattr_setsigmask(&attr_, &none) != 0 || posix_spawnattr_setsigdefault(&attr_, &defaults) != 0 ||
        posix_spawnattr_setpgroup(&attr_, 0) != 0 ||
        posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP) != 0)
      return false;
    // dup2 clears close-on-exec on the copy; the originals are close-on-exec
    // and vanish at the exec.
    if (stdinFd >= 0 && posix_spawn_file_actions_adddup2(&actions_, stdinFd, STDIN_FILENO) != 0)
      return false;
    if (stdoutFd >= 0 && posix_spawn_file_actions_adddup2(&actions_, stdoutFd, STDOUT_FILENO) != 0)
      return false;
    return true;
  }

  posix_spawnattr_t* Attr() { return &attr_; }
  posix_spawn_file_actions_t* Actions() { return &actions_; }

private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
  bool attrOk_ = false;
  bool actionsOk_ = false;
};

}  // namespace

bool LChildProcess::StartShell(const char* command, int stdinFd, int stdoutFd)
{
  Reap(kReapGraceMs);
  LSpawnSetup setup;
  if (!setup.Prepare(stdinFd, stdoutFd))
    return false;
  char sh[] = "sh";
  char dashC[] = "-c";
  char* argv[] = {sh, dashC, const_cast<char*>(command), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, "/bin/sh", setup.Actions(), setup.Attr(), argv, environ) != 0)
    return false;
  pid_ = pid;
  return true;
}

int LChildProcess::Reap(unsigned int graceMs)
{
  if (pid_ <= 0)
    return -1;
  int status = 0;
  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  // Short sleeps first: an encoder whose input has just closed usually
  // ends within a few milliseconds.
  unsigned int step = 1;
  for (;;) {
    pid_t r = WaitFor(pid_, &status, WNOHANG);
    if (r == pid_ || r < 0) {
      pid_ = -1;
      return r < 0 ? -1 : status;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long waitedMs = (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (waitedMs >= graceMs)
      break;
    SleepMs(step);
    step = step < 32 ? step * 2 : 32;
  }
  kill(-pid_, SIGKILL);
  kill(pid_, SIGKILL);
  return Wait();
}

int LChildProcess::Wait()
{
  if (pid_ <= 0)
    return -1;
  int status = 0;
  pid_t r = WaitFor(pid_, &status, 0);
  pid_ = -1;
  return r < 0 ? -1 : status;
}
