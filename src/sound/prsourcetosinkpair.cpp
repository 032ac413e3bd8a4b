#include "sound/prsourcetosinkpair.h"

#include <atomic>
#include <mutex>
#include <string>

#include "base/thread.h"

namespace {

// How often the display thread, its own copy done, shows the worker's
// progress and asks the display whether to stop.
constexpr unsigned int kDisplayPollMs = 100;

// The display of the worker's copy, called on the worker thread only.  Its
// progress is read by the display thread; a stop comes from the worker
// thread's stop request; its status lines are not shown (the first copy's
// are); an error is kept for the display thread to show after the join.
class LWorkerProgress final : public LProgressRef {
public:
  explicit LWorkerProgress(LThread& thread) : thread_(thread) {}

  bool IsToStop() override { return thread_.IsToStop(); }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms) override
  {
    return thread_.ProcessWaitSignal(signal, ms);
  }
  void SetProgress(double fraction) override { fraction_.store(fraction, std::memory_order_relaxed); }
  void SetStatus1(const char*) override {}
  void SetStatus2(const char*) override {}
  void SetError(const char* text) override
  {
    std::lock_guard<std::mutex> hold(errorLock_);
    error_ = text;
  }

  // Display thread.
  double GetProgress() const { return fraction_.load(std::memory_order_relaxed); }
  // Display thread, after the join.
  const std::string& GetError() const { return error_; }

private:
  LThread& thread_;
  std::atomic<double> fraction_{0.0};
  std::mutex errorLock_;
  std::string error_;
};

// Runs one copy on its own thread.  Owned and started by the display
// thread, which reads the result after joining.
class LCopyThread final : public LThread {
public:
  explicit LCopyThread(LPRSourceToSink& op) : op_(op) {}
  ~LCopyThread() { StopThreadNow(); }

  // Whether Start made a thread (false when the system refused one).
  bool Started() const { return hasHandle_; }
  LSignalObjectRef GetDoneSignal() const { return done_.GetRef(); }
  // After StopThreadNow.
  LProcessResult GetResult() const { return result_; }
  LWorkerProgress& GetProgress() { return progress_; }

protected:
  void ThreadFunction() override
  {
    result_ = LPRSourceToSinkRun(progress_, op_);
    done_.Signal();
  }

private:
  LPRSourceToSink& op_;
  LWorkerProgress progress_{*this};
  LProcessResult result_ = kProcessFailed;
  LSignalObject done_;
};

// The first copy's display: the real one, with the bar at the mean of
// both copies, and a stop that reaches the worker as well.  Display thread
// only.
class LPairProgress final : public LProgressRef {
public:
  LPairProgress(LProgressRef& display, LCopyThread& worker) : display_(display), worker_(worker) {}

  bool IsToStop() override
  {
    if (!display_.IsToStop())
      return false;
    worker_.StopThreadSoon();
    return true;
  }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms) override
  {
    LProcessResult result = display_.ProcessWaitSignal(signal, ms);
    if (result == kProcessStopped)
      worker_.StopThreadSoon();
    return result;
  }
  void SetProgress(double fraction) override
  {
    first_ = fraction;
    Show();
  }
  void SetStatus1(const char* text) override { display_.SetStatus1(text); }
  void SetStatus2(const char* text) override { display_.SetStatus2(text); }
  void SetError(const char* text) override { display_.SetError(text); }

  void Show() { display_.SetProgress((first_ + worker_.GetProgress().GetProgress()) / 2); }

private:
  LProgressRef& display_;
  LCopyThread& worker_;
  double first_ = 0.0;
};

}  // namespace

LPRSourceToSinkPairResult LPRSourceToSinkRunPair(LProgressRef& display, LPRSourceToSink& first, LPRSourceToSink& second)
{
  LCopyThread worker(second);
  worker.StartSame();
  if (!worker.Started()) {
    // No second thread: one copy after the other.
    LPRSourceToSinkPairResult result{LPRSourceToSinkRun(display, first), kProcessStopped};
    if (result.first == kProcessDone)
      result.second = LPRSourceToSinkRun(display, second);
    return result;
  }

  LPairProgress progress(display, worker);
  const LProcessResult firstResult = LPRSourceToSinkRun(progress, first);
  if (firstResult != kProcessDone)
    worker.StopThreadSoon();
  // Wait for the worker while the display stays responsive.  Once a stop
  // is asked, the worker ends within one block, so the display need not
  // be asked again.
  while (worker.IsRunning() && !worker.IsToStop()) {
    if (display.ProcessWaitSignal(worker.GetDoneSignal(), kDisplayPollMs) == kProcessStopped)
      worker.StopThreadSoon();
    progress.Show();
  }
  worker.StopThreadNow();
  progress.Show();
  if (!worker.GetProgress().GetError().empty())
    display.SetError(worker.GetProgress().GetError().c_str());
  return {firstResult, worker.GetResult()};
}
