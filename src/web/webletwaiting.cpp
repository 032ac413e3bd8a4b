#include "web/webletwaiting.h"

#include <sys/socket.h>

#include "settings/configkeys.h"
#include "settings/settings.h"

void LWebletWaitingList::LoadSettings()
{
  const int cap = LSettingGet(VLKeys::WebServerMaxWaiting);
  const int headMs = LSettingGet(VLKeys::WebServerRequestHeadMs);
  std::lock_guard<std::mutex> guard(lock_);
  cap_ = cap > 0 ? cap : VLKeys::WebServerMaxWaiting.def;
  headMs_.store(headMs > 0 ? headMs : VLKeys::WebServerRequestHeadMs.def, std::memory_order_relaxed);
}

void LWebletWaitingList::Add(LWebletWaitingEntry& entry)
{
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ >= cap_ && oldest_ != nullptr) {
    // Its thread still owns the descriptor and closes it only after its
    // Remove, which waits for this lock: the socket is still open here.
    shutdown(oldest_->socket, SHUT_RDWR);
    Unlink(*oldest_);
  }
  entry.older = newest_;
  entry.newer = nullptr;
  if (newest_ != nullptr)
    newest_->newer = &entry;
  else
    oldest_ = &entry;
  newest_ = &entry;
  entry.listed = true;
  ++count_;
}

void LWebletWaitingList::Remove(LWebletWaitingEntry& entry)
{
  std::lock_guard<std::mutex> guard(lock_);
  if (entry.listed)
    Unlink(entry);
}

int LWebletWaitingList::GetCount()
{
  std::lock_guard<std::mutex> guard(lock_);
  return count_;
}

void LWebletWaitingList::Unlink(LWebletWaitingEntry& entry)
{
  if (entry.older != nullptr)
    entry.older->newer = entry.newer;
  else
    oldest_ = entry.newer;
  if (entry.newer != nullptr)
    entry.newer->older = entry.older;
  else
    newest_ = entry.older;
  entry.older = entry.newer = nullptr;
  entry.listed = false;
  --count_;
}
