#include "base/thread.h"

#include <cassert>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

int ClampTimeout(unsigned int ms)
{
  constexpr unsigned int kMaxPollMs = 0x7fffffffu;
  return static_cast<int>(ms > kMaxPollMs ? kMaxPollMs : ms);
}

// Applies priority p to the thread with system id tid.  Each step may be
// refused (EPERM without privilege); the thread then keeps what it had.
void ApplyPriority(pid_t tid, int p)
{
  // On Linux both calls act on a single thread when given its id.
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), p <= 0 ? -p : 0);
  sched_param param{};
  param.sched_priority = p >= 1 ? p : 0;
  sched_setscheduler(tid, p >= 1 ? SCHED_RR : SCHED_OTHER, &param);
}

int PriorityOf(pid_t tid)
{
  int policy = sched_getscheduler(tid);
  if (policy < 0)
    return 0;
  if (policy == SCHED_RR) {
    sched_param param{};
    return sched_getparam(tid, &param) == 0 ? param.sched_priority : 0;
  }
  errno = 0;
  int nice_value = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  return errno != 0 ? 0 : -nice_value;
}

}  // namespace

LThread::~LThread()
{
  StopThreadNow();
}

void LThread::PrepareStart(int priority)
{
  stopRequested_.store(false, std::memory_order_relaxed);
  stopSignal_.Reset();
  running_.store(true, std::memory_order_release);
  priority_.store(priority, std::memory_order_relaxed);
}

bool LThread::CreateThread(void* (*entry)(void*), pthread_t& handle)
{
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  // A size the system refuses (below PTHREAD_STACK_MIN) leaves the default.
  if (stackSize_ != 0)
    pthread_attr_setstacksize(&attr, stackSize_);
  int rc = pthread_create(&handle, &attr, entry, this);
  pthread_attr_destroy(&attr);
  if (rc == 0)
    return true;
  // Nothing will ever clear the flag otherwise, and callers that wait for the
  // worker to finish would wait forever.
  running_.store(false, std::memory_order_release);
  return false;
}

void LThread::Start(int priority)
{
  LLockScope scope(lock_);
  if (hasHandle_) {
    if (IsRunning())
      return;
    pthread_join(handle_, nullptr);
    hasHandle_ = false;
  }
  PrepareStart(priority);
  hasHandle_ = CreateThread(&LThread::Entry, handle_);
}

void* LThread::Entry(void* self)
{
  static_cast<LThread*>(self)->RunThreadBody();
  return nullptr;
}

void LThread::RunThreadBody()
{
  threadId_.store(gettid(), std::memory_order_relaxed);
  SetPriority(priority_.load(std::memory_order_relaxed));
  ThreadFunction();
  threadId_.store(-1, std::memory_order_relaxed);
  running_.store(false, std::memory_order_release);
}

void LThread::StopThreadSoon()
{
  stopRequested_.store(true, std::memory_order_relaxed);
  stopSignal_.Signal();
}

void LThread::StopThreadNow()
{
  if (!hasHandle_)
    return;
  assert(pthread_equal(handle_, pthread_self()) == 0 && "a thread cannot wait for its own end");
  StopThreadSoon();
  pthread_join(handle_, nullptr);
  hasHandle_ = false;
}

bool LThread::Wait(unsigned int ms)
{
  if (IsToStop())
    return false;
  if (stopSignal_.WaitSignal(ms))
    return false;
  return !IsToStop();
}

void LThread::Yield()
{
  sched_yield();
}

LProcessResult LThread::ProcessWait(unsigned int ms)
{
  return Wait(ms) ? kProcessDone : kProcessStopped;
}

LProcessResult LThread::WaitWithStop(LSignalObjectRef signal, int timeout_ms)
{
  if (IsToStop())
    return kProcessStopped;
  pollfd fds[2] = {{stopSignal_.GetRef().GetPollFD(), POLLIN, 0}, {signal.GetPollFD(), POLLIN, 0}};
  int rc = LPollRetrying(fds, 2, timeout_ms);
  if (rc < 0)
    return kProcessFailed;
  if ((fds[0].revents & POLLIN) != 0 || IsToStop())
    return kProcessStopped;
  if (rc == 0)
    return kProcessFailed;
  return kProcessDone;
}

LProcessResult LThread::ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
{
  return WaitWithStop(signal, ClampTimeout(ms));
}

LProcessResult LThread::ProcessWaitSignalForever(LSignalObjectRef signal)
{
  return WaitWithStop(signal, -1);
}

LProcessResult LThread::ProcessWaitSignalObjectGroup(LSignalObjectGroup& group, unsigned int ms)
{
  if (IsToStop())
    return kProcessStopped;
  bool stop_set = false;
  int rc = group.Poll(stopSignal_.GetRef().GetPollFD(), ClampTimeout(ms), stop_set);
  if (rc == 0)
    return kProcessFailed;
  if (stop_set || IsToStop())
    return kProcessStopped;
  return rc < 0 ? kProcessFailed : kProcessDone;
}

void LThread::SetPriority(int p)
{
  priority_.store(p, std::memory_order_relaxed);
  pid_t tid = threadId_.load(std::memory_order_relaxed);
  if (tid > 0)
    ApplyPriority(tid, p);
}

int LThread::GetPriority() const
{
  pid_t tid = threadId_.load(std::memory_order_relaxed);
  return tid > 0 ? PriorityOf(tid) : priority_.load(std::memory_order_relaxed);
}

int LThread::GetCurrentPriority()
{
  return PriorityOf(gettid());
}
