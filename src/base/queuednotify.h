#pragma once
#include <memory>
#include <mutex>

// Hooks around EvNotify on the main loop thread.  The desktop sets them to
// enter and leave its toolkit's thread lock (the leave hook also flushes the
// display); without them notifications run without any lock.  Set once at
// start-up, before any notification is posted.
void LSetMainLoopLockHooks(void (*enter)(), void (*leave)());

// Shared between a notification target and the notifications queued for it:
// the target's destructor marks it dead, and the main loop delivers only to
// live targets.  Delivery holds the mutex, so destroying a target on another
// thread waits for a delivery in progress; the mutex is recursive so that a
// target may destroy itself from its own handler.
class LNotifyLiveness {
public:
  LNotifyLiveness() : state_(std::make_shared<State>()) {}
  ~LNotifyLiveness() { Kill(); }

  LNotifyLiveness(const LNotifyLiveness&) = delete;
  LNotifyLiveness& operator=(const LNotifyLiveness&) = delete;

  struct State {
    std::recursive_mutex mutex;
    bool alive = true;
  };

  std::shared_ptr<State> Share() const { return state_; }

private:
  void Kill()
  {
    std::lock_guard<std::recursive_mutex> guard(state_->mutex);
    state_->alive = false;
  }

  std::shared_ptr<State> state_;
};

// A target for parameterless notifications from worker threads.
class LThreadQueuedNotify {
public:
  LThreadQueuedNotify() = default;
  virtual ~LThreadQueuedNotify() = default;

  LThreadQueuedNotify(const LThreadQueuedNotify&) = delete;
  LThreadQueuedNotify& operator=(const LThreadQueuedNotify&) = delete;

  // Any thread: schedules one EvNotify call on the GLib main loop (posts are
  // never merged).  Not delivered if this object is destroyed first.
  void PostQueueNotify();

protected:
  // Main loop thread, inside the main-loop lock hooks.
  virtual void EvNotify() = 0;

private:
  static int RunNotify(void* message);  // a GSourceFunc

  LNotifyLiveness liveness_;
};

// Receives notifications with a copied payload on the main loop thread.
class LQueuedNotifyDataHandler {
public:
  LQueuedNotifyDataHandler() = default;
  virtual ~LQueuedNotifyDataHandler() = default;

  LQueuedNotifyDataHandler(const LQueuedNotifyDataHandler&) = delete;
  LQueuedNotifyDataHandler& operator=(const LQueuedNotifyDataHandler&) = delete;

  // Main loop thread, without the main-loop lock.  data is null when the
  // sender passed no data; it is valid only during the call.
  virtual void EvQueuedNotifyData(unsigned int type, const void* data, unsigned int size) = 0;

private:
  friend class LQueuedNotifyDataSender;
  LNotifyLiveness liveness_;
};

// Sends copies of data to a handler on the main loop.  All methods may be
// called from any thread; an internal mutex guards the handler.
class LQueuedNotifyDataSender {
public:
  LQueuedNotifyDataSender() = default;

  LQueuedNotifyDataSender(const LQueuedNotifyDataSender&) = delete;
  LQueuedNotifyDataSender& operator=(const LQueuedNotifyDataSender&) = delete;

  void SetNotifyHandler(LQueuedNotifyDataHandler& handler);
  void InvalidateNotifyHandler();

  // Without a handler nothing is allocated or queued.  Otherwise size bytes
  // of data are copied (nothing when data is null) and delivered later,
  // unless the handler has been destroyed by then.
  void NotifyData(unsigned int type, const void* data, unsigned int size);
  // No data; value travels in the size field.
  void NotifyData(unsigned int type, int value) { NotifyData(type, nullptr, static_cast<unsigned int>(value)); }

private:
  std::mutex mutex_;
  LQueuedNotifyDataHandler* handler_ = nullptr;
  std::shared_ptr<LNotifyLiveness::State> handlerState_;
};
