#include "app/serviceengine.h"

#include "app/mainengine.h"
#include "app/servicecontrolconnection.h"

#include <algorithm>
#include <cstring>

template <class E>
LServiceEngine<E>::LServiceEngine() : LServiceEngine(std::make_unique<E>())
{
}

template <class E>
LServiceEngine<E>::LServiceEngine(std::unique_ptr<E> engine) : engine_(std::move(engine))
{
}

template <class E>
LServiceEngine<E>::~LServiceEngine()
{
  Stop();
}

template <class E>
void LServiceEngine<E>::StartEngine()
{
  engine_->SetNotifyHandler(*this);
  engineStarted_ = true;
  engine_->Start();
}

template <class E>
void LServiceEngine<E>::Wait(LSignalObjectRef stop)
{
  while (!IsStopRequested() && !stop.IsSignaled()) {
    // Reset before looking at the flags, so that a wake-up arriving while
    // they are handled leaves the signal set for the next round.
    wake_.Reset();
    if (newConnection_.exchange(false, std::memory_order_acq_rel))
      engine_->NewConnection();
    {
      LLockScope list(listLock_);
      for (Connection* connection : connections_)
        connection->HandlePendingMessages();
    }
    if (IsStopRequested())
      break;
    pollfd fds[2] = {{wake_.GetRef().GetPollFD(), POLLIN, 0}, {stop.GetPollFD(), POLLIN, 0}};
    if (LPollRetrying(fds, stop.GetPollFD() >= 0 ? 2 : 1, -1) < 0)
      break;
  }
}

template <class E>
void LServiceEngine<E>::StopSoon()
{
  stopRequested_.store(true, std::memory_order_release);
  wake_.Signal();
}

template <class E>
void LServiceEngine<E>::Stop()
{
  StopSoon();
  LPipeListener::Stop();
  StopThreadsNow();
  engine_->InvalidateNotifyHandler();
  if (engineStarted_) {
    engineStarted_ = false;
    engine_->Stop();
  }
}

template <class E>
void LServiceEngine<E>::NewConnection(LServerPipe& pipe)
{
  StartThreadNormal(new Connection(*this, pipe));
}

template <class E>
void LServiceEngine<E>::AddNotifyConnection(Connection* connection)
{
  {
    LLockScope list(listLock_);
    LLockScope send(sendLock_);
    connections_.insert(connections_.begin(), connection);
  }
  newConnection_.store(true, std::memory_order_release);
  wake_.Signal();
}

template <class E>
void LServiceEngine<E>::RemoveNotifyConnection(Connection* connection)
{
  LLockScope list(listLock_);
  LLockScope send(sendLock_);
  connections_.erase(std::remove(connections_.begin(), connections_.end(), connection), connections_.end());
}

template <class E>
void LServiceEngine<E>::EvEngineNotify(unsigned int code, const void* data, unsigned int size)
{
  unsigned char header[kControlHeaderSize];
  LEncodeControlHeader(LMakeControlHeader(kControlNotification, code, data ? size : 0, size), header);
  LLockScope send(sendLock_);
  for (Connection* connection : connections_) {
    if (connection->SendCom(header, sizeof header) && data != nullptr && size != 0)
      connection->SendCom(data, size);
  }
}

template <class E>
void LServiceEngine<E>::Log(const char* time, const char* text, unsigned char level)
{
  const auto time_bytes = static_cast<unsigned int>(std::strlen(time) + 1);
  const auto text_bytes = static_cast<unsigned int>(std::strlen(text) + 1);
  unsigned char header[kControlHeaderSize];
  LEncodeControlHeader(LMakeControlHeader(kControlLogLine, level, time_bytes + text_bytes, time_bytes), header);
  LLockScope send(sendLock_);
  for (Connection* connection : connections_) {
    if (connection->SendCom(header, sizeof header) && connection->SendCom(time, time_bytes))
      connection->SendCom(text, text_bytes);
  }
}

template class LServiceEngine<MainEngine>;
