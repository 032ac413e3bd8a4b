#include "app/startservice.h"

#include "app/appsignals.h"
#include "app/mainengine.h"
#include "app/servicecontrol.h"
#include "app/serviceengine.h"
#include "settings/log.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

std::atomic<LServiceEngine<MainEngine>*> pServiceEngine{nullptr};

namespace {

constexpr char kStartNotice[] = "started";

// Parent: true once the child has written its notice, false when the pipe
// ends without one (the child died while starting).
bool WaitForStartNotice(int descriptor)
{
  char buffer[260];
  for (;;) {
    ssize_t got = read(descriptor, buffer, sizeof buffer);
    if (got > 0)
      return true;
    if (got == 0 || errno != EINTR)
      return false;
  }
}

bool RedirectStandardStreams()
{
  int null_fd = open("/dev/null", O_RDWR);
  if (null_fd < 0)
    return false;
  bool ok = dup2(null_fd, STDIN_FILENO) >= 0 && dup2(null_fd, STDOUT_FILENO) >= 0 && dup2(null_fd, STDERR_FILENO) >= 0;
  if (null_fd > STDERR_FILENO)
    close(null_fd);
  return ok;
}

void ForwardLogLine(const char* time, const char* text, unsigned char level)
{
  if (LServiceEngine<MainEngine>* engine = pServiceEngine.load())
    engine->Log(time, text, level);
}

void WriteStartNotice(int descriptor)
{
  const char* next = kStartNotice;
  size_t left = sizeof kStartNotice - 1;
  while (left > 0) {
    ssize_t sent = write(descriptor, next, left);
    if (sent < 0 && errno == EINTR)
      continue;
    if (sent <= 0)
      break;
    next += sent;
    left -= static_cast<size_t>(sent);
  }
  close(descriptor);
}

// The detached child: runs the host until SIGTERM.
[[noreturn]] void RunService(int notice)
{
  gAppIsRunningAsService.store(true);
  // Writes to a vanished peer (a parent killed before the notice, encoder
  // pipes) must fail with EPIPE instead of ending the daemon.
  signal(SIGPIPE, SIG_IGN);
  LInstallServiceTermSignalHandler();
  LSetServiceLogForwarder(&ForwardLogLine);
  {
    LServiceEngine<MainEngine> host;
    if (!host.StartPipe())
      LOGERROR("Unable to open the control pipe ", host.GetPath());
    host.StartEngine();
    pServiceEngine.store(&host);
    WriteStartNotice(notice);
    host.Wait(LServiceTermSignal());
    pServiceEngine.store(nullptr);
    host.Stop();
  }
  LSetServiceLogForwarder(nullptr);
  LIgnoreServiceTermSignal();
  std::exit(0);
}

}  // namespace

void StartService()
{
  if (!LIsUserRoot())
    std::fputs("Daemon cannot be started without root permissions.", stdout);
  // Nothing buffered may be written twice by parent and child.
  std::fflush(stdout);
  std::fflush(stderr);
  int notice[2];
  if (pipe2(notice, O_CLOEXEC) != 0)
    std::exit(1);
  pid_t child = fork();
  if (child < 0)
    std::exit(1);
  if (child > 0) {
    close(notice[1]);
    bool started = WaitForStartNotice(notice[0]);
    close(notice[0]);
    if (!started)
      std::fputs("Velorin: the service ended before it had started.\n", stderr);
    std::exit(started ? 0 : 1);
  }
  close(notice[0]);
  if (setsid() < 0 || chdir("/") != 0 || !RedirectStandardStreams())
    _exit(1);
  RunService(notice[1]);
}
