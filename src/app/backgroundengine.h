#pragma once
#include "app/enginenotify.h"

#include <atomic>
#include <vector>

// The base of an engine that runs in the service or in the desktop process:
// it keeps the handler its notifications go to (itself, dropping them, while
// nobody listens) and the default answers to the control forms the program
// does not use.
//
// The handler is set and reset by the controlling thread while engine
// threads may be notifying, hence the atomic pointer.  Whoever sets a
// handler must reset it before the handler goes away.
class LBackgroundEngine : public LEngineNotifyHandlerStub {
public:
  LBackgroundEngine() = default;
  virtual ~LBackgroundEngine() = default;

  LBackgroundEngine(const LBackgroundEngine&) = delete;
  LBackgroundEngine& operator=(const LBackgroundEngine&) = delete;

  void SetNotifyHandler(LEngineNotifyHandler& handler) { handler_.store(&handler, std::memory_order_release); }
  void InvalidateNotifyHandler() { handler_.store(this, std::memory_order_release); }

  // A desktop has connected to the service.
  virtual void NewConnection() {}
  virtual int ControlWithResult(unsigned int, const void*, unsigned int) { return 0; }
  virtual int ControlWithReturnData(unsigned int, const void*, unsigned int, std::vector<unsigned char>& out)
  {
    out.clear();
    return 0;
  }

protected:
  // Any engine thread.
  void Notify(unsigned int code, const void* data, unsigned int size)
  {
    handler_.load(std::memory_order_acquire)->EvEngineNotify(code, data, size);
  }

private:
  std::atomic<LEngineNotifyHandler*> handler_{this};
};
