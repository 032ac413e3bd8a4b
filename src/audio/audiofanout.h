#pragma once
// The one owner of one queue's listeners once they have had their start
// burst.
//
// A listener's connection thread sends the start burst itself, then hands
// the listener (its socket and its position in the ring) to the fan-out
// with Adopt and ends.  From then on a listener costs its socket and its
// entry here: no thread, no other descriptor, no buffer unless its socket
// was full.  One thread per queue wakes every send interval and, for each
// listener in turn, gathers what the ring has added and hands it to the
// socket without blocking.  A listener whose socket was full is watched
// (epoll) and served again as soon as it takes more.
//
// The fan-out alone decides when a stream ends, and then closes the socket
// and logs "Streaming %s stopped":
//   - a send fails, or the socket takes nothing for kListenerSendTimeoutMs;
//   - the peer hangs up (an error or reset on the socket, or its side
//     closed while the ring stands still for kListenerHangUpIdleMs);
//   - the ring laps the listener (it fell a whole ring behind: it would
//     only be sent a jump in the stream);
//   - EndAll: the web server stops (engine stop, or a new port).  A restart
//     of the queue's encoder leaves the listeners streaming.
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/audiolistener.h"
#include "base/lockobject.h"
#include "base/signalobject.h"
#include "base/thread.h"
#include "base/uniquefd.h"

// The fan-out's pause between sends to a listener.  Half a second of audio
// per send keeps the wake-ups few and stays far inside the ring (64 chunks
// of a 100 ms capture block each at the usual rates).
inline constexpr unsigned int kListenerSendIntervalMs = 500;
// A ring that advances this many chunks before the pause is over (a fast
// stream, whose ring spans less time) brings the next pass forward, so no
// listener is lapped while it waits.
inline constexpr int kListenerPassChunks = LAudioQueue::kSlots / 4;
// A listener whose ring has not advanced for this long after its peer
// closed its side has hung up.
inline constexpr unsigned int kListenerHangUpIdleMs = 1000;

struct LParkedListener;

class LAudioFanout : private LThread {
public:
  explicit LAudioFanout(const LAudioQueue& queue);
  // Ends every listener still here.
  ~LAudioFanout();

  LAudioFanout(const LAudioFanout&) = delete;
  LAudioFanout& operator=(const LAudioFanout&) = delete;

  // Connection thread.  Takes the listener's socket and position (the
  // listener must have sent its start burst); `name` is the stream's name
  // for the log.  False when the fan-out's thread could not be started: the
  // socket is then closed and nothing is logged.  Takes lock_.
  // A listener with a framer hands it over with icy, so that its blocks
  // go on at the right offsets.
  bool Adopt(LUniqueFD socket, LAudioListener& listener, const char* name, std::unique_ptr<LIcyFramer> icy = nullptr);
  // Owner's thread (the queue's stop): ends every listener.  Takes lock_.
  void EndAll();

  // Number of listeners here now (any thread).
  int GetParkedCount();

  // Queue thread, after each publication: asks for a pass when the ring
  // has advanced kListenerPassChunks since the last one.  No lock.
  void OnPublished(uint64_t published);

private:
  // The rest: fan-out thread, under lock_.
  // Sends what parked has waiting and what the ring added, until the
  // socket is full or the listener has caught up; may end it.
  void ServeOne(LParkedListener& parked, int64_t now);
  // Closes the socket, logs and frees the listener.
  void End(LParkedListener& parked);
  // Sets the epoll events: hang-up until the peer closed its side, and
  // writability while the socket is full.
  void SetEvents(LParkedListener& parked, bool peerClosed, bool full);
  // Handles the ready sockets; true when a pass was asked for.
  bool ServeReady(int64_t now);
  // Serves every listener.
  void Pass(int64_t now);
  void ThreadFunction() override;

  const LAudioQueue& queue_;
  LUniqueFD epoll_;
  // Set by OnPublished; watched by epoll_ beside the sockets.
  LSignalObject passWanted_;
  std::atomic<bool> passSignalled_{false};
  std::atomic<uint64_t> passedAt_{0};
  LLockObject lock_;
  LParkedListener* first_ = nullptr;
  int parked_ = 0;
  // Gathered chunks on their way to one socket.
  std::unique_ptr<unsigned char[]> batch_;
};
