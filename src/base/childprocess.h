#pragma once
#include <sys/types.h>

// Owns one child process started with posix_spawn and reaps it itself.
//
// The program never sets SIGCHLD to "ignore": that would make every pclose()
// and waitpid() elsewhere in the process fail with ECHILD.  Instead each
// owner waits for exactly its own pid, so the exit statuses of other
// children (popen's, tests', helpers') stay with whoever started them.
//
// Used by one thread at a time.
class LChildProcess {
public:
  LChildProcess() = default;
  ~LChildProcess() { Reap(kReapGraceMs); }

  LChildProcess(const LChildProcess&) = delete;
  LChildProcess& operator=(const LChildProcess&) = delete;

  // Runs "/bin/sh -c command" with stdinFd as its standard input and
  // stdoutFd as its standard output (either -1: inherited), in a process
  // group of its own.  The child starts with default SIGPIPE and SIGCHLD
  // handling and no blocked signals.  A previous child is reaped first.  False when the process
  // could not be created.
  bool StartShell(const char* command, int stdinFd, int stdoutFd);

  pid_t GetPid() const { return pid_; }
  bool IsStarted() const { return pid_ > 0; }

  // Waits up to graceMs for the child to end; a child still running after
  // that is killed (SIGKILL, with its process group) and then waited for.  Returns the wait status,
  // or -1 when there was no child.
  int Reap(unsigned int graceMs);
  // Waits without limit.  Returns the wait status, or -1.
  int Wait();

  // Time a child gets to end after its input has been closed.
  static constexpr unsigned int kReapGraceMs = 2000;

private:
  pid_t pid_ = -1;
};
