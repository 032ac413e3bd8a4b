#pragma once

#include "base/uniquefd.h"

#include <glib.h>

// Receives what a second start forwards.  GUI thread.
class LRunOnceTarget {
public:
  virtual void EvRunArguments(const char* const* args, int count) = 0;
  // Shows and raises the main window.
  virtual void CmOpen() = 0;

protected:
  ~LRunOnceTarget() = default;
};

// The single-instance guard: a Unix-domain socket "$HOME/.Velorin.runonce".
// The first start binds and listens; a second start connects, sends its
// arguments (count, then length and bytes of each, 32-bit host order) and
// ends.  A socket file nobody answers on is stale and is replaced.
class LRunOnceSocket {
public:
  // What a second start may send: more or longer arguments make the whole
  // message malformed, and it is dropped.
  static constexpr int kMaxArguments = 64;
  static constexpr int kMaxArgumentBytes = 4096;
  // The whole message must arrive within this time: a sender that stalls
  // cannot hold the main loop.
  static constexpr int kReceiveTimeoutMs = 2000;

  LRunOnceSocket() = default;
  LRunOnceSocket(const LRunOnceSocket&) = delete;
  LRunOnceSocket& operator=(const LRunOnceSocket&) = delete;
  // Removes the watch, closes the socket and deletes its file (first
  // instance only).
  ~LRunOnceSocket() { Close(); }
  void Close();

  // True when this is the first instance (listening).  False when another
  // instance answered: the arguments have been sent to it.
  bool Take(int argc, const char* const* argv);

  // First instance: watches the socket on the default main context and
  // hands each well-formed message to the target.
  void Watch(LRunOnceTarget& target);

private:
  static gboolean GSRunOnceServerCallback(GIOChannel* channel, GIOCondition condition, gpointer self);
  void AcceptOne();

  char path_[260] = "";
  LUniqueFD socket_;
  bool listening_ = false;
  GIOChannel* channel_ = nullptr;
  guint watch_ = 0;
  LRunOnceTarget* target_ = nullptr;
};
