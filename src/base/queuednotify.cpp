#include "base/queuednotify.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <glib.h>
#include <new>

namespace {

void NoHook() {}

std::atomic<void (*)()> gEnterMainLoopLock{&NoHook};
std::atomic<void (*)()> gLeaveMainLoopLock{&NoHook};

// GLib hands the message over with its own futex-based locking, which thread
// checkers cannot see.  Posting under this mutex, and taking it once at the
// start of every callback, states that hand-over (the message and GLib's own
// source record) in terms they understand.  The callback cannot finish taking
// it before the post that queued it has returned from g_idle_add.
std::mutex gHandOverMutex;

void PostToMainLoop(GSourceFunc callback, void* message)
{
  std::lock_guard<std::mutex> guard(gHandOverMutex);
  g_idle_add(callback, message);
}

void ReceiveFromPoster()
{
  std::lock_guard<std::mutex> guard(gHandOverMutex);
}

struct LNotifyMessage {
  LThreadQueuedNotify* target;
  std::shared_ptr<LNotifyLiveness::State> state;
};

// One allocation: this header, then the payload.
struct LDataMessage {
  unsigned int type;
  LQueuedNotifyDataHandler* handler;
  std::shared_ptr<LNotifyLiveness::State> state;
  const void* data;
  unsigned int size;
};

constexpr size_t kDataOffset =
    (sizeof(LDataMessage) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

void FreeDataMessage(LDataMessage* message)
{
  message->~LDataMessage();
  ::operator delete(static_cast<void*>(message));
}

gboolean RunDataMessage(gpointer pointer)
{
  ReceiveFromPoster();
  auto* message = static_cast<LDataMessage*>(pointer);
  {
    std::lock_guard<std::recursive_mutex> guard(message->state->mutex);
    if (message->state->alive)
      message->handler->EvQueuedNotifyData(message->type, message->data, message->size);
  }
  FreeDataMessage(message);
  return G_SOURCE_REMOVE;
}

}  // namespace

void LSetMainLoopLockHooks(void (*enter)(), void (*leave)())
{
  gEnterMainLoopLock.store(enter != nullptr ? enter : &NoHook);
  gLeaveMainLoopLock.store(leave != nullptr ? leave : &NoHook);
}

void LThreadQueuedNotify::PostQueueNotify()
{
  auto* message = new (std::nothrow) LNotifyMessage{this, liveness_.Share()};
  if (message != nullptr)
    PostToMainLoop(&LThreadQueuedNotify::RunNotify, message);
}

int LThreadQueuedNotify::RunNotify(void* pointer)
{
  ReceiveFromPoster();
  auto* message = static_cast<LNotifyMessage*>(pointer);
  {
    std::lock_guard<std::recursive_mutex> guard(message->state->mutex);
    if (message->state->alive) {
      gEnterMainLoopLock.load()();
      message->target->EvNotify();
      gLeaveMainLoopLock.load()();
    }
  }
  delete message;
  return G_SOURCE_REMOVE;
}

void LQueuedNotifyDataSender::SetNotifyHandler(LQueuedNotifyDataHandler& handler)
{
  std::lock_guard<std::mutex> guard(mutex_);
  handler_ = &handler;
  handlerState_ = handler.liveness_.Share();
}

void LQueuedNotifyDataSender::InvalidateNotifyHandler()
{
  std::lock_guard<std::mutex> guard(mutex_);
  handler_ = nullptr;
  handlerState_.reset();
}

void LQueuedNotifyDataSender::NotifyData(unsigned int type, const void* data, unsigned int size)
{
  LQueuedNotifyDataHandler* handler;
  std::shared_ptr<LNotifyLiveness::State> state;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (handler_ == nullptr)
      return;
    handler = handler_;
    state = handlerState_;
  }
  const size_t payload = data != nullptr ? size : 0;
  void* block = ::operator new(kDataOffset + payload, std::nothrow);
  if (block == nullptr)
    return;
  unsigned char* bytes = static_cast<unsigned char*>(block) + kDataOffset;
  if (payload > 0)
    memcpy(bytes, data, payload);
  auto* message = new (block) LDataMessage{type, handler, std::move(state), data != nullptr ? bytes : nullptr, size};
  PostToMainLoop(&RunDataMessage, message);
}
