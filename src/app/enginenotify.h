#pragma once

// Receives an engine's notifications: a code and optional data.  Called on
// whichever thread the engine reports from; implementations copy what they
// keep.
class LEngineNotifyHandler {
public:
  virtual void EvEngineNotify(unsigned int code, const void* data, unsigned int size) = 0;

protected:
  ~LEngineNotifyHandler() = default;
};

// Drops every notification: the handler of an engine nobody listens to.
class LEngineNotifyHandlerStub : public LEngineNotifyHandler {
public:
  void EvEngineNotify(unsigned int, const void*, unsigned int) override {}

protected:
  ~LEngineNotifyHandlerStub() = default;
};
