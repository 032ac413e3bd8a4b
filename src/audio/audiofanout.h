#pragma once
// The sending side of one queue's listeners once they have caught up with
// the ring.
//
// A listener's connection thread sends its start burst itself, then parks
// the listener here and sleeps without a time-out.  One thread per queue
// wakes every send interval and, for each parked listener in turn, gathers
// what the ring has added and hands it to the socket without blocking.
// Thousands of listeners then cost one wake-up of one thread and one send
// each per interval, instead of a wake-up of every listener's thread for
// every chunk.  A listener whose socket was full is watched (epoll) and
// served again as soon as it takes more, so a socket buffer smaller than
// an interval's audio never holds a listener back.
//
// A parked listener whose socket takes nothing for kListenerSendTimeoutMs,
// or whose send fails, is ended: the fan-out shuts its socket down, which
// wakes the sleeping connection thread.  The connection thread also wakes
// for a stop request and for the peer hanging up, and unparks the listener
// before it returns; from then on the fan-out never touches it again.
#include <atomic>
#include <mutex>

#include "audio/audiolistener.h"
#include "base/processresult.h"
#include "base/signalobject.h"
#include "base/thread.h"
#include "base/uniquefd.h"

// The fan-out's pause between sends to a listener.  Half a second of audio
// per send keeps the wake-ups few and stays far inside the ring (64 chunks
// of a 100 ms capture block each at the usual rates).
inline constexpr unsigned int kListenerSendIntervalMs = 500;
// A ring that advances this many chunks before the pause is over (a fast
// stream, whose ring spans less time) brings the next pass forward, so no
// parked listener is lapped while it waits.
inline constexpr int kListenerPassChunks = LAudioQueue::kSlots / 4;
// A parked listener whose ring has not advanced for this long after its
// peer closed its side has hung up.
inline constexpr unsigned int kListenerHangUpIdleMs = 1000;

// One parked listener: lives on its connection thread's stack.  While it is
// parked only the fan-out thread uses it, under the fan-out's lock.
struct LParkedListener {
  LParkedListener(int socket, LAudioListener& listener, unsigned char* batch)
      : socket(socket), listener(listener), batch(batch)
  {
  }
  LParkedListener(const LParkedListener&) = delete;
  LParkedListener& operator=(const LParkedListener&) = delete;

  const int socket;
  LAudioListener& listener;
  unsigned char* const batch;  // kListenerBatchBytes
  int size = 0;                // bytes gathered into batch
  int sent = 0;                // of which the socket took this many
  int64_t lastProgress = 0;    // monotonic ms of the last send that moved
  bool ended = false;          // the fan-out gave up on the listener
  bool watched = false;        // registered with the fan-out's epoll
  LParkedListener* previous = nullptr;
  LParkedListener* next = nullptr;
};

class LAudioFanout : private LThread {
public:
  explicit LAudioFanout(const LAudioQueue& queue);
  ~LAudioFanout();

  LAudioFanout(const LAudioFanout&) = delete;
  LAudioFanout& operator=(const LAudioFanout&) = delete;

  // Connection thread.  Parks the listener (which must have sent its
  // backlog) and sleeps until stop is signalled (kProcessStopped), the
  // fan-out ended the stream or its thread could not be started
  // (kProcessFailed) or the peer hung up (kProcessStopped).  The listener
  // is unparked on return.
  LProcessResult Serve(LParkedListener& parked, LSignalObjectRef stop);

  // Number of listeners parked now (any thread).
  int GetParkedCount();

  // Queue thread, after each publication: asks for a pass when the ring
  // has advanced kListenerPassChunks since the last one.  No lock.
  void OnPublished(uint64_t published);

private:
  // False when the fan-out's thread could not be started.
  bool Park(LParkedListener& parked);
  void Unpark(LParkedListener& parked);
  // Fan-out thread, under lock_.  Sends what parked has waiting and what the
  // ring added, until the socket is full or the listener has caught up.
  void ServeOne(LParkedListener& parked, int64_t now);
  void End(LParkedListener& parked);
  // Asks for one wake-up when the socket takes data again.
  void Watch(LParkedListener& parked);
  // Serves the listeners whose sockets became writable (under lock_); true
  // when a pass was asked for.
  bool ServeWritable(int64_t now);
  // Serves every parked listener (under lock_).
  void Pass(int64_t now);
  void ThreadFunction() override;

  const LAudioQueue& queue_;
  LUniqueFD epoll_;
  // Set by OnPublished; watched by epoll_ beside the sockets.
  LSignalObject passWanted_;
  std::atomic<bool> passSignalled_{false};
  std::atomic<uint64_t> passedAt_{0};
  std::mutex lock_;
  LParkedListener* first_ = nullptr;
  int parked_ = 0;
};
