#pragma once
// Running shell commands.  A command succeeds when it exits normally with
// status 0; the shell's 127 for a missing program, any other exit status, a
// death by signal and a failure to start all count as failures.  The exit
// status is collected by waiting for the child, so the process must not
// ignore SIGCHLD (children of an ignoring process are reaped by the system
// and their status is lost).  Commands get an empty standard input.

#include "base/processresult.h"
#include "base/signalobject.h"
#include "net/processwait.h"

#include <memory>

// Runs command through /bin/sh, waits for it and judges its exit status.
bool RunCommandLineProcess(const char* command);

// A command running on a thread of its own, so that the caller can wait
// for it in slices and stay responsive.  The state the two threads share
// is reference-counted: whichever side is done with it last frees it, so a
// caller that gives up early never waits for the command and never touches
// freed memory.  Made and used by one calling thread.
class LCommandLineRun {
public:
  // Starts the command; IsStarted() is false when the thread could not be
  // created.
  explicit LCommandLineRun(const char* command);
  LCommandLineRun(const LCommandLineRun&) = delete;
  LCommandLineRun& operator=(const LCommandLineRun&) = delete;

  bool IsStarted() const { return started_; }
  // Set once the command has ended.
  LSignalObjectRef GetDoneSignal() const;
  // Valid once the done signal is set: 0 success, 2 failure.
  LProcessResult GetResult() const;

  struct Shared;

private:
  std::shared_ptr<Shared> shared_;
  bool started_ = false;
};

// Runs command and waits for it at most timeout ms, in slices of up to
// 500 ms through the interface's ProcessWaitSignal.  After every slice that
// ends without the command, an interface that shows progress
// (SetProgress(double)) is moved on by 1% of what remains, starting at 3%,
// so the bar creeps towards the end without reaching it.  Returns the
// command's result, 1 when stopped, 2 when the time ran out (the command is
// then left to finish on its own).
template <class P>
LProcessResult ProcessRunCommandLineProcessWithProgress(P& process, const char* command, unsigned int timeout)
{
  constexpr unsigned int kSliceMs = 500;
  LCommandLineRun run(command);
  if (!run.IsStarted())
    return kProcessFailed;
  double left = 0.97;
  unsigned int remaining = timeout;
  while (remaining > 0) {
    unsigned int slice = remaining < kSliceMs ? remaining : kSliceMs;
    LProcessResult waited = ProcessWaitSignal(process, run.GetDoneSignal(), slice);
    if (waited == kProcessDone)
      return run.GetResult();
    if (waited == kProcessStopped)
      return kProcessStopped;
    if constexpr (requires { process.SetProgress(1.0); })
      process.SetProgress(1.0 - left);
    left *= 0.99;
    remaining -= slice;
  }
  return kProcessFailed;
}
