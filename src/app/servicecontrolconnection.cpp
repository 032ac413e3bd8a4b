#include "app/servicecontrolconnection.h"

#include "app/mainengine.h"
#include "app/serviceengine.h"
#include "net/processpipe.h"

#include <sys/socket.h>

template <class E>
LServiceControlConnection<E>::LServiceControlConnection(LServiceEngine<E>& engine, LServerPipe& pipe) : engine_(engine)
{
  pipe_.Assign(pipe);
}

template <class E>
LServiceControlConnection<E>::~LServiceControlConnection() = default;

template <class E>
void LServiceControlConnection<E>::ThreadFunction()
{
  engine_.AddNotifyConnection(this);
  while (ReadRequest()) {
    done_.Reset();
    pending_.store(true, std::memory_order_release);
    engine_.SignalWake();
    if (ProcessWaitSignal(done_, kHandOverTimeoutMs) != kProcessDone)
      break;
    // The main thread clears the flag before it signals done_.  Reading it
    // here orders the main thread's use of this request before the next
    // request overwrites it (a pipe's wake-up alone carries no such order
    // for the memory model).
    if (pending_.load(std::memory_order_acquire))
      break;
  }
  engine_.RemoveNotifyConnection(this);
}

template <class E>
bool LServiceControlConnection<E>::ReadRequest()
{
  unsigned char bytes[kControlHeaderSize];
  if (ProcessRecvBytes(*this, pipe_, bytes, sizeof bytes) != kProcessDone)
    return false;
  LControlHeader header = LDecodeControlHeader(bytes);
  if (header.magic != kControlMagic)
    return false;
  hasPayload_ = false;
  if ((header.type & kControlNoPayload) != 0) {
    // The sender had a size but no data: the size is passed on alone.
    header.type = static_cast<uint16_t>(header.type & ~kControlNoPayload);
  } else if (header.size != 0) {
    if (header.size > kControlMaxPayload)
      return false;
    payload_.resize(header.size);
    if (ProcessRecvBytes(*this, pipe_, payload_.data(), header.size, kPayloadTimeoutMs) != kProcessDone)
      return false;
    hasPayload_ = true;
  }
  header_ = header;
  return true;
}

template <class E>
void LServiceControlConnection<E>::HandlePendingMessages()
{
  if (!pending_.load(std::memory_order_acquire))
    return;
  const void* data = hasPayload_ ? payload_.data() : nullptr;
  E& engine = engine_.GetEngine();
  std::vector<unsigned char> out;
  switch (header_.type) {
  case kControlRequest: engine.Control(header_.code, data, header_.size); break;
  case kControlRequestResult: SendReply(engine.ControlWithResult(header_.code, data, header_.size), out); break;
  case kControlRequestData: {
    int result = engine.ControlWithReturnData(header_.code, data, header_.size, out);
    SendReply(result, out);
    break;
  }
  default: break;
  }
  pending_.store(false, std::memory_order_release);
  done_.Signal();
}

template <class E>
void LServiceControlConnection<E>::SendReply(int result, const std::vector<unsigned char>& data)
{
  unsigned char header[kControlHeaderSize];
  const auto size = static_cast<unsigned int>(data.size());
  LEncodeControlHeader(LMakeControlHeader(kControlReply, static_cast<uint32_t>(result), size, header_.tag), header);
  engine_.SendLocked([&] {
    if (SendCom(header, sizeof header, kReplySendTimeoutMs) && size != 0)
      SendCom(data.data(), size, kReplySendTimeoutMs);
  });
}

template <class E>
bool LServiceControlConnection<E>::SendCom(const void* data, unsigned int length, int timeout)
{
  if (broken_.load(std::memory_order_relaxed))
    return false;
  LProcessInterfaceVoid never_stops;
  if (ProcessSend(never_stops, pipe_, data, length, timeout) == kProcessDone)
    return true;
  // A half-sent message leaves the desktop out of step, so the connection
  // ends.  Shutting the socket down wakes this connection's reader, which
  // then leaves the list; closing the descriptor here instead would let a
  // new connection reuse its number under that reader.
  broken_.store(true, std::memory_order_relaxed);
  shutdown(pipe_.GetDescriptor(), SHUT_RDWR);
  return false;
}

template class LServiceControlConnection<MainEngine>;
