#include "base/detachedthread.h"

#include "base/ticks.h"

void* LDetachedThread::DetachedEntry(void* self)
{
  auto* thread = static_cast<LDetachedThread*>(self);
  LDetachedThreadsOwner* owner = thread->owner_;
  thread->RunThreadBody();
  owner->Destruct(thread);
  return nullptr;
}

bool LDetachedThreadsOwner::UnlinkLocked(LDetachedThread* thread)
{
  for (LListable** link = &head_; *link != nullptr; link = &(*link)->pNext) {
    if (*link == thread) {
      *link = thread->pNext;
      thread->pNext = nullptr;
      return true;
    }
  }
  return false;
}

void LDetachedThreadsOwner::StartThread(LDetachedThread* thread, int priority)
{
  if (thread == nullptr)
    return;
  bool created;
  {
    // Held across creation: the new thread's Destruct takes this lock, so it
    // cannot unlink and delete the object before the handle is stored.
    LLockScope scope(lock_);
    thread->pNext = head_;
    head_ = thread;
    thread->owner_ = this;
    thread->PrepareStart(priority);
    pthread_t handle;
    created = thread->CreateThread(&LDetachedThread::DetachedEntry, handle);
    if (created) {
      thread->handle_ = handle;
      thread->hasHandle_ = true;
    } else {
      UnlinkLocked(thread);
    }
  }
  if (!created)
    delete thread;
}

void LDetachedThreadsOwner::Destruct(LDetachedThread* thread)
{
  {
    LLockScope scope(lock_);
    if (!UnlinkLocked(thread))
      return;  // taken by StopThreadsNow, which joins and deletes it
    pthread_detach(thread->handle_);
    thread->hasHandle_ = false;
    ++exiting_;
  }
  delete thread;
  LLockScope scope(lock_);
  --exiting_;
}

void LDetachedThreadsOwner::StopThreadsSoon()
{
  LLockScope scope(lock_);
  for (LListable* item = head_; item != nullptr; item = item->pNext)
    static_cast<LDetachedThread*>(item)->StopThreadSoon();
}

void LDetachedThreadsOwner::StopThreadsNow()
{
  StopThreadsSoon();
  for (;;) {
    LDetachedThread* thread;
    {
      LLockScope scope(lock_);
      thread = static_cast<LDetachedThread*>(head_);
      if (thread == nullptr)
        break;
      head_ = thread->pNext;
      thread->pNext = nullptr;
    }
    thread->StopThreadNow();
    delete thread;
  }
  // Self-deleting threads run their destructors outside the lock; wait for
  // them so that nothing they use is torn down under them.
  for (;;) {
    {
      LLockScope scope(lock_);
      if (exiting_ == 0)
        return;
    }
    Sleep(1);
  }
}
