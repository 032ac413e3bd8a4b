#include "app/engineproxy.h"

#include "app/controlmessage.h"
#include "app/controlpipe.h"
#include "app/mainengine.h"
#include "app/servicecontrol.h"
#include "app/serviceengine.h"
#include "net/processpipe.h"
#include "settings/log.h"

#include <cstring>

template <class E>
LServiceEngineProxy<E>::LServiceEngineProxy()
{
  LQueuedNotifyDataSender::SetNotifyHandler(*this);
}

template <class E>
LServiceEngineProxy<E>::~LServiceEngineProxy()
{
  Stop();
  // The reader uses this object's members: it must be gone before they are.
  StopThreadNow();
  LQueuedNotifyDataSender::InvalidateNotifyHandler();
}

template <class E>
std::shared_ptr<LNamedPipe> LServiceEngineProxy<E>::GetPipe() const
{
  LLockScope scope(pipeLock_);
  return pipe_;
}

template <class E>
void LServiceEngineProxy<E>::SetPipe(std::shared_ptr<LNamedPipe> pipe)
{
  std::shared_ptr<LNamedPipe> old;
  LLockScope scope(pipeLock_);
  old.swap(pipe_);
  pipe_ = std::move(pipe);
  // old is released after the lock, outside of it, by whoever holds it last.
}

template <class E>
bool LServiceEngineProxy<E>::HasPipe() const
{
  LLockScope scope(pipeLock_);
  return pipe_ != nullptr;
}

template <class E>
void LServiceEngineProxy<E>::Start()
{
  Stop();
  auto pipe = std::make_shared<LNamedPipe>();
  if (!LConnectNamedPipe(*pipe, kServicePipeName)) {
    LServiceStart();
    LConnectNamedPipe(*pipe, kServicePipeName);
  }
  if (pipe->IsOpen()) {
    SetPipe(std::move(pipe));
    StartLow();
    return;
  }
  LOG("Unable to start the background service! Will attempt to run in foreground.");
  engine_ = std::make_unique<E>();
  engine_->SetNotifyHandler(*this);
  engine_->Start();
}

template <class E>
void LServiceEngineProxy<E>::Stop()
{
  if (HasPipe()) {
    StopThreadNow();
    SetPipe(nullptr);
  }
  if (engine_) {
    engine_->InvalidateNotifyHandler();
    engine_->Stop();
    engine_.reset();
  }
}

template <class E>
uint32_t LServiceEngineProxy<E>::SendRequest(uint16_t type, unsigned int code, const void* data, unsigned int size)
{
  std::shared_ptr<LNamedPipe> pipe = GetPipe();
  if (!pipe)
    return 0;
  const uint32_t sequence = sequence_.fetch_add(1, std::memory_order_acq_rel) + 1;
  const bool no_payload = data == nullptr && size != 0;
  unsigned char header[kControlHeaderSize];
  LEncodeControlHeader(
      LMakeControlHeader(static_cast<uint16_t>(no_payload ? (type | kControlNoPayload) : type), code, size, sequence),
      header);
  // A lost service is noticed and mended by the reader; the request is lost.
  LProcessInterfaceVoid never_stops;
  ProcessSend(never_stops, *pipe, header, sizeof header, kSendTimeoutMs);
  if (data != nullptr && size != 0)
    ProcessSend(never_stops, *pipe, data, size, kSendTimeoutMs);
  return sequence;
}

template <class E>
void LServiceEngineProxy<E>::Control(unsigned int code, const void* data, unsigned int size)
{
  if (HasPipe())
    SendRequest(kControlRequest, code, data, size);
  else if (engine_)
    engine_->Control(code, data, size);
}

template <class E>
int LServiceEngineProxy<E>::Request(uint16_t type, unsigned int code, const void* data, unsigned int size,
                                    std::vector<unsigned char>* out)
{
  {
    LLockScope scope(replyLock_);
    replyData_ = out;
  }
  reply_.Reset();
  replyResult_.store(0, std::memory_order_relaxed);
  int result = 0;
  if (SendRequest(type, code, data, size) != 0 && reply_.WaitSignal(kReplyTimeoutMs))
    result = replyResult_.load(std::memory_order_acquire);
  LLockScope scope(replyLock_);
  replyData_ = nullptr;
  return result;
}

template <class E>
int LServiceEngineProxy<E>::ControlWithResult(unsigned int code, const void* data, unsigned int size)
{
  if (HasPipe())
    return Request(kControlRequestResult, code, data, size, nullptr);
  return engine_ ? engine_->ControlWithResult(code, data, size) : 0;
}

template <class E>
int LServiceEngineProxy<E>::ControlWithReturnData(unsigned int code, const void* data, unsigned int size,
                                                  std::vector<unsigned char>& out)
{
  out.clear();
  if (HasPipe())
    return Request(kControlRequestData, code, data, size, &out);
  return engine_ ? engine_->ControlWithReturnData(code, data, size, out) : 0;
}

template <class E>
void LServiceEngineProxy<E>::EvEngineNotify(unsigned int code, const void* data, unsigned int size)
{
  NotifyData(code, data, size);
}

template <class E>
void LServiceEngineProxy<E>::EvQueuedNotifyData(unsigned int code, const void* data, unsigned int size)
{
  guiHandler_->EvEngineNotify(code, data, size);
}

template <class E>
void LServiceEngineProxy<E>::ThreadFunction()
{
  for (;;) {
    std::shared_ptr<LNamedPipe> pipe = GetPipe();
    if (pipe && pipe->IsOpen())
      ReadMessages(*pipe);
    pipe.reset();
    for (;;) {
      if (!Wait(kReconnectDelayMs))
        return;
      auto fresh = std::make_shared<LNamedPipe>();
      if (LConnectNamedPipe(*fresh, kServicePipeName)) {
        SetPipe(std::move(fresh));
        break;
      }
    }
  }
}

template <class E>
void LServiceEngineProxy<E>::ReadMessages(LNamedPipeRef pipe)
{
  unsigned char inline_payload[kControlInlinePayload];
  std::vector<unsigned char> large_payload;
  for (;;) {
    unsigned char bytes[kControlHeaderSize];
    if (ProcessRecvBytes(*this, pipe, bytes, sizeof bytes) != kProcessDone)
      return;
    const LControlHeader header = LDecodeControlHeader(bytes);
    if (header.magic != kControlMagic || header.size > kControlMaxPayload)
      return;
    unsigned char* payload = inline_payload;
    if (header.size > sizeof inline_payload) {
      large_payload.resize(header.size);
      payload = large_payload.data();
    }
    if (header.size != 0 && ProcessRecvBytes(*this, pipe, payload, header.size, kPayloadTimeoutMs) != kProcessDone)
      return;
    Dispatch(header.type, header.code, header.tag, payload, header.size);
  }
}

template <class E>
void LServiceEngineProxy<E>::Dispatch(uint16_t type, uint32_t code, uint32_t tag, unsigned char* payload, uint32_t size)
{
  switch (type) {
  case kControlLogLine: DispatchLogLine(code, tag, payload, size); break;
  case kControlNotification:
    // Without data the tag carries the notification's value; with data the
    // payload's own length counts, whatever the tag claims.
    if (size == 0)
      EvEngineNotify(code, nullptr, tag);
    else
      EvEngineNotify(code, payload, size);
    break;
  case kControlReply: DispatchReply(code, tag, payload, size); break;
  default: break;
  }
}

template <class E>
void LServiceEngineProxy<E>::DispatchLogLine(uint32_t level, uint32_t tag, unsigned char* payload, uint32_t size)
{
  if (size <= 1)
    return;
  // The tag is where the text starts (the time text's length with its
  // terminator); a peer's bad value is clamped into the payload.
  uint32_t split = tag == 0 ? 1 : tag;
  if (split >= size)
    split = size - 1;
  payload[split - 1] = 0;
  payload[size - 1] = 0;
  gLLog.LogDisplayOnly(reinterpret_cast<const char*>(payload), reinterpret_cast<const char*>(payload + split),
                       static_cast<unsigned char>(level));
}

template <class E>
void LServiceEngineProxy<E>::DispatchReply(uint32_t result, uint32_t tag, const unsigned char* payload, uint32_t size)
{
  if (tag != sequence_.load(std::memory_order_acquire))
    return;
  {
    LLockScope scope(replyLock_);
    if (replyData_ != nullptr)
      replyData_->assign(payload, payload + size);
  }
  replyResult_.store(static_cast<int>(result), std::memory_order_release);
  reply_.Signal();
}

template class LServiceEngineProxy<MainEngine>;
