#include "net/processcommand.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <pthread.h>
#include <string>
#include <sys/wait.h>
#include <utility>

namespace {

// A command started with popen, waited for by Close or the destructor.
class LPopenCommand {
public:
  // "w": the command's standard input is our end of the pipe, closed at
  // once, so a command that reads it sees the end instead of waiting.
  // "e": the pipe is close-on-exec, so children that other threads start
  // meanwhile do not hold it open.
  explicit LPopenCommand(const char* command) : pipe_(popen(command, "we")) {}
  ~LPopenCommand() { Close(); }
  LPopenCommand(const LPopenCommand&) = delete;
  LPopenCommand& operator=(const LPopenCommand&) = delete;

  // Closes the input, waits for the command and returns its wait status,
  // or -1 when it did not start or could not be waited for.
  int Close()
  {
    FILE* pipe = std::exchange(pipe_, nullptr);
    return pipe != nullptr ? pclose(pipe) : -1;
  }

private:
  FILE* pipe_;
};

bool ExitedWithSuccess(int status)
{
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool RunCommandLineProcess(const char* command)
{
  if (command == nullptr)
    return false;
  LPopenCommand run(command);
  return ExitedWithSuccess(run.Close());
}

struct LCommandLineRun::Shared {
  std::string command;
  LSignalObject done;
  std::atomic<int> result{kProcessStopped};
};

namespace {

void* RunCommandThread(void* argument)
{
  // The thread's own reference; dropping it may free the shared state.
  std::unique_ptr<std::shared_ptr<LCommandLineRun::Shared>> shared(
      static_cast<std::shared_ptr<LCommandLineRun::Shared>*>(argument));
  bool ok = RunCommandLineProcess((*shared)->command.c_str());
  (*shared)->result.store(ok ? kProcessDone : kProcessFailed, std::memory_order_release);
  (*shared)->done.Signal();
  return nullptr;
}

}  // namespace

LCommandLineRun::LCommandLineRun(const char* command) : shared_(std::make_shared<Shared>())
{
  shared_->command = command != nullptr ? command : "";
  shared_->done.Reset();
  auto* threadReference = new (std::nothrow) std::shared_ptr<Shared>(shared_);
  if (threadReference == nullptr)
    return;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  // Nobody joins this thread: a caller that gives up leaves it to end with
  // its command.
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  started_ = pthread_create(&thread, &attributes, RunCommandThread, threadReference) == 0;
  pthread_attr_destroy(&attributes);
  if (!started_)
    delete threadReference;
}

LSignalObjectRef LCommandLineRun::GetDoneSignal() const
{
  return shared_->done.GetRef();
}

LProcessResult LCommandLineRun::GetResult() const
{
  return shared_->result.load(std::memory_order_acquire);
}
