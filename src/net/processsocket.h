#pragma once
// Cooperative sends and receives on a non-blocking TCP socket.  Every
// operation is a template over a process interface P that answers
// IsToStop(); it is asked before every send attempt and between wait slices
// of at most 200 ms, so the owner's stop request (a thread's stop, a user's
// Cancel) ends the operation within one slice.  Results: 0 done, 1 stopped,
// 2 failed (idle time-out, peer closed, socket error).
//
// Each call is made by one thread at a time on a given socket; nothing here
// locks.  IsToStop() is called on the calling thread.

#include "base/processresult.h"
#include "base/stringtools.h"
#include "base/stringwriters.h"
#include "base/ticks.h"
#include "net/netbase.h"
#include "net/socketwait.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/types.h>

// Sends are cut into pieces of this size; a full piece is followed by the
// next at once, a shorter one by a wait for writability.
inline constexpr unsigned int kProcessSendPiece = 1024;
// The line reader looks ahead this many bytes per peek.
inline constexpr unsigned int kProcessLinePeek = 80;

// Sends all size bytes, at most maxPiece per send call; a send that takes
// a whole piece is followed at once by the next, anything less waits for
// the socket to become writable (the time-out counts those waits).
// MSG_NOSIGNAL keeps a closed peer from raising SIGPIPE; the send then
// fails with 2.  A size of 0 makes one empty send.
template <class P>
LProcessResult ProcessSendInPieces(P& process, LIPSocketTCPRef socket, const void* data, unsigned int size, int timeout,
                                   unsigned int maxPiece)
{
  const char* next = static_cast<const char*>(data);
  unsigned int remaining = size;
  LIdleBudget budget(timeout);
  for (;;) {
    if (process.IsToStop())
      return kProcessStopped;
    unsigned int piece = remaining < maxPiece ? remaining : maxPiece;
    ssize_t sent = send(socket.GetSocket(), next, piece, MSG_NOSIGNAL);
    if (sent >= 0 && static_cast<size_t>(sent) >= remaining)
      return kProcessDone;
    if (sent < 0) {
      if (!LIsTransientSocketError(errno))
        return kProcessFailed;
    } else {
      next += sent;
      remaining -= static_cast<unsigned int>(sent);
      if (static_cast<size_t>(sent) >= piece)
        continue;
    }
    if (!budget.WaitWritable(socket.GetSocket()))
      return kProcessFailed;
  }
}

// Sends all size bytes in pieces of kProcessSendPiece.
template <class P>
LProcessResult ProcessSend(P& process, LIPSocketTCPRef socket, const void* data, unsigned int size, int timeout)
{
  return ProcessSendInPieces(process, socket, data, size, timeout, kProcessSendPiece);
}

// ProcessSend of the text without its terminating zero.
template <class P>
LProcessResult ProcessSendString(P& process, LIPSocketTCPRef socket, const char* text, int timeout)
{
  return ProcessSend(process, socket, text, static_cast<unsigned int>(strlen(text)), timeout);
}

// Waits until the socket is readable: data has arrived or the peer closed.
// A failed wait also returns 0 and leaves the error to the receive that
// follows, which reports it.
template <class P>
LProcessResult ProcessWaitForDataOrClose(P& process, LIPSocketTCPRef socket, int timeout)
{
  LIdleBudget budget(timeout);
  while (!process.IsToStop()) {
    if (LWaitReadable(socket.GetSocket(), kProcessSliceMs) != LWaitResult::TimedOut)
      return kProcessDone;
    if (!budget.SpendSlice())
      return kProcessFailed;
  }
  return kProcessStopped;
}

template <class P>
LProcessResult ProcessWaitForRecvReady(P& process, LIPSocketTCPRef socket, int timeout)
{
  return ProcessWaitForDataOrClose(process, socket, timeout);
}

// One receive of at most size bytes after waiting for readability.
// received is 0 when the wake-up brought nothing (the caller loops); the
// peer's close gives 2.
template <class P>
LProcessResult ProcessRecvReady(P& process, LIPSocketTCPRef socket, void* buffer, unsigned int size,
                                unsigned int& received, int timeout)
{
  received = 0;
  if (size == 0)
    return kProcessDone;
  LProcessResult waited = ProcessWaitForDataOrClose(process, socket, timeout);
  if (waited != kProcessDone)
    return waited;
  ssize_t got = recv(socket.GetSocket(), buffer, size, 0);
  if (got > 0) {
    received = static_cast<unsigned int>(got);
    return kProcessDone;
  }
  if (got < 0 && LIsTransientSocketError(errno))
    return kProcessDone;
  return kProcessFailed;
}

// Receives exactly size bytes; every wait gets the whole time-out.
template <class P>
LProcessResult ProcessRecvBytes(P& process, LIPSocketTCPRef socket, void* buffer, unsigned int size, int timeout)
{
  char* next = static_cast<char*>(buffer);
  unsigned int done = 0;
  while (done < size) {
    unsigned int received = 0;
    LProcessResult r = ProcessRecvReady(process, socket, next + done, size - done, received, timeout);
    if (r != kProcessDone)
      return r;
    done += received;
  }
  return kProcessDone;
}

// Reads one text line into writer (anything with AddChar(char)), without
// CR and LF.  Bytes are only taken off the socket up to and including the
// line feed, so the next line (or a request body) stays for the next call.
// A last line that the peer ends by closing is delivered with 0; a close
// before any byte gives 2.  timeout is for the whole line: a peer that
// trickles a byte now and then does not restart it.
template <class P, class W>
LProcessResult ProcessRecvLineToWriter(P& process, LIPSocketTCPRef socket, W& writer, int timeout)
{
  bool gotData = false;
  const int64_t deadline = GetMonotonicMs() + timeout;
  for (;;) {
    const int64_t left = deadline - GetMonotonicMs();
    if (left <= 0)
      return kProcessFailed;
    LProcessResult waited = ProcessWaitForRecvReady(process, socket, static_cast<int>(left));
    if (waited != kProcessDone)
      return waited;
    char peek[kProcessLinePeek];
    ssize_t got = recv(socket.GetSocket(), peek, sizeof peek, MSG_PEEK);
    if (got == 0)
      return gotData ? kProcessDone : kProcessFailed;
    if (got < 0) {
      if (LIsTransientSocketError(errno))
        continue;
      return kProcessFailed;
    }
    size_t used = 0;
    bool ended = false;
    while (used < static_cast<size_t>(got) && !ended) {
      char c = peek[used++];
      if (c == '\n')
        ended = true;
      else if (c != '\r')
        writer.AddChar(c);
    }
    // The peeked bytes are still queued, so this receive cannot block or
    // come up short; it only removes what the line used.
    if (recv(socket.GetSocket(), peek, used, 0) < 0)
      return kProcessFailed;
    if (ended)
      return kProcessDone;
    gotData = true;
  }
}

// ProcessRecvLineToWriter into a 260-byte buffer: at most 259 characters
// are kept, the rest of a longer line is read and dropped.
template <class P>
LProcessResult ProcessRecvLine(P& process, LIPSocketTCPRef socket, char* line, int timeout)
{
  LFixedLengthStringWriterTemplate writer(line, kPathSize);
  return ProcessRecvLineToWriter(process, socket, writer, timeout);
}
