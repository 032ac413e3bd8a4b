#pragma once
// The connections still waiting for a request's head, oldest first, and the
// limits on them: how long a head may take and how many may wait at once.
// Past the cap the oldest waiting connection is cut: its socket is shut
// down, which ends its wait at once and its thread closes it.  Connections
// that are past their head (a streaming listener, a download) are never on
// the list, so nothing here cuts them.
#include <atomic>
#include <mutex>

// One waiting connection: lives on its connection thread's stack between
// Add and Remove (LWebletWaitScope).
struct LWebletWaitingEntry {
  int socket = -1;
  bool listed = false;
  LWebletWaitingEntry* older = nullptr;
  LWebletWaitingEntry* newer = nullptr;
};

class LWebletWaitingList {
public:
  LWebletWaitingList() = default;
  LWebletWaitingList(const LWebletWaitingList&) = delete;
  LWebletWaitingList& operator=(const LWebletWaitingList&) = delete;

  // Owner's thread, while no connection runs: WebServer/MaxWaiting and
  // WebServer/RequestHeadMs from the settings.
  void LoadSettings();
  int GetHeadMs() const { return headMs_.load(std::memory_order_relaxed); }

  // Connection threads; take the list's lock.  Add cuts the oldest entry
  // when the list is full.  Remove is safe for an entry already cut.
  void Add(LWebletWaitingEntry& entry);
  void Remove(LWebletWaitingEntry& entry);
  int GetCount();

private:
  void Unlink(LWebletWaitingEntry& entry);

  std::mutex lock_;
  LWebletWaitingEntry* oldest_ = nullptr;
  LWebletWaitingEntry* newest_ = nullptr;
  int count_ = 0;
  int cap_ = 0;
  // Read by connection threads without the lock; a connection of the
  // previous run may still read it while a new run loads it.
  std::atomic<int> headMs_{0};
};

// Keeps one connection on the list for the lifetime of the scope; a null
// list keeps nothing.
class LWebletWaitScope {
public:
  LWebletWaitScope(LWebletWaitingList* list, int socket) : list_(list)
  {
    entry_.socket = socket;
    if (list_ != nullptr)
      list_->Add(entry_);
  }
  ~LWebletWaitScope()
  {
    if (list_ != nullptr)
      list_->Remove(entry_);
  }
  LWebletWaitScope(const LWebletWaitScope&) = delete;
  LWebletWaitScope& operator=(const LWebletWaitScope&) = delete;

private:
  LWebletWaitingList* list_;
  LWebletWaitingEntry entry_;
};
