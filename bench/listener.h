#pragma once
// One simulated stream listener of the load client: a non-blocking HTTP
// connection that sends one GET, checks the response header and then follows
// the MP3 body, timing every pause in the data.  Driven by the client's
// single epoll thread; nothing here is shared between threads.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/uniquefd.h"
#include "mp3frames.h"

enum class LListenerFault { kNone, kConnect, kConnectTimeout, kHeaderTimeout, kBadHeader, kDisconnected };

class LListener {
public:
  enum class Phase { kIdle, kConnecting, kHeader, kStreaming, kDone };

  // Opens a non-blocking socket and starts connecting.  False when the socket
  // cannot be made or the connection is refused at once (fault recorded).
  bool Connect(const sockaddr_in& address, int64_t nowNs)
  {
    startedNs_ = nowNs;
    phase_ = Phase::kConnecting;
    fd_.Reset(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_.IsValid()) {
      socketErrno_ = errno;
      Fail(LListenerFault::kConnect, nowNs);
      return false;
    }
    if (connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) < 0 && errno != EINPROGRESS) {
      socketErrno_ = errno;
      Fail(LListenerFault::kConnect, nowNs);
      return false;
    }
    return true;
  }

  // The connect finished (the socket turned writable or reported an error):
  // sends the request.  False when the connection failed (fault recorded).
  bool OnConnected(const std::string& request, int64_t nowNs)
  {
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd_.Get(), SOL_SOCKET, SO_ERROR, &error, &length) < 0)
      error = errno;
    // The request is far smaller than a fresh socket's send buffer, so one
    // send either takes all of it or the connection is broken.
    if (error == 0 && send(fd_.Get(), request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
      error = errno ? errno : EIO;
    if (error != 0) {
      socketErrno_ = error;
      Fail(LListenerFault::kConnect, nowNs);
      return false;
    }
    phase_ = Phase::kHeader;
    return true;
  }

  // Reads what is waiting.  Returns the number of bytes read; the listener is
  // done (fault recorded) when the server closed or the header was refused.
  size_t OnReadable(unsigned char* buffer, size_t size, int64_t nowNs)
  {
    const ssize_t n = recv(fd_.Get(), buffer, size, 0);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR)
        return 0;
      socketErrno_ = errno;
      Fail(LListenerFault::kDisconnected, nowNs);
      return 0;
    }
    if (n == 0) {
      Fail(LListenerFault::kDisconnected, nowNs);
      return 0;
    }
    size_t used = 0;
    if (phase_ == Phase::kHeader) {
      used = TakeHeader(buffer, size_t(n), nowNs);
      if (phase_ != Phase::kStreaming)
        return size_t(n);
    }
    if (size_t(n) > used)
      TakeBody(buffer + used, size_t(n) - used, nowNs);
    return size_t(n);
  }

  // Ends the listener for a fault: the first fault is the one kept.
  void Fail(LListenerFault fault, int64_t nowNs)
  {
    if (fault_ == LListenerFault::kNone)
      fault_ = fault;
    End(nowNs);
  }

  // Ends a listener that is still streaming at the end of the run.
  void End(int64_t nowNs)
  {
    if (phase_ == Phase::kDone)
      return;
    if (phase_ == Phase::kStreaming)
      NoteGap(nowNs);
    phase_ = Phase::kDone;
    fd_.Reset();
  }

  int Fd() const { return fd_.Get(); }
  Phase GetPhase() const { return phase_; }
  int64_t StartedNs() const { return startedNs_; }
  LListenerFault Fault() const { return fault_; }
  int SocketErrno() const { return socketErrno_; }
  uint64_t BodyBytes() const { return bodyBytes_; }
  // Longest time without data once the header was in, the end of the run included.
  int64_t MaxGapNs() const { return maxGapNs_; }
  // Connect to the end of the response header; -1 when none came.
  int64_t HeaderNs() const { return headerNs_ < 0 ? -1 : headerNs_ - startedNs_; }
  // Connect to the first byte of audio; -1 when none came.
  int64_t FirstDataNs() const { return firstDataNs_ < 0 ? -1 : firstDataNs_ - startedNs_; }
  const LMp3FrameChecker& Frames() const { return frames_; }

private:
  // Collects the response header.  Returns how many of the n bytes belong to
  // it; moves to kStreaming once it is complete and acceptable.
  size_t TakeHeader(const unsigned char* data, size_t n, int64_t nowNs)
  {
    static constexpr size_t kMaxHeader = 16384;
    const size_t before = header_.size();
    header_.append(reinterpret_cast<const char*>(data), n);
    const size_t end = header_.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (header_.size() > kMaxHeader)
        Fail(LListenerFault::kBadHeader, nowNs);
      return n;
    }
    const size_t used = end + 4 - before;
    header_.resize(end + 2);
    const bool ok = HeaderAcceptable();
    std::string().swap(header_);
    if (!ok) {
      Fail(LListenerFault::kBadHeader, nowNs);
      return n;
    }
    phase_ = Phase::kStreaming;
    headerNs_ = nowNs;
    lastDataNs_ = nowNs;  // the stall clock starts with the header
    return used;
  }

  // Status 200 and Content-Type audio/mpeg, header names in any case.
  bool HeaderAcceptable() const
  {
    // "HTTP/1.x 200" then a reason phrase or the end of the line.
    if (header_.size() < 13 || header_.compare(0, 7, "HTTP/1.") != 0 || header_.compare(8, 4, " 200") != 0 ||
        (header_[12] != ' ' && header_[12] != '\r'))
      return false;
    std::string lower(header_);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const size_t at = lower.find("\r\ncontent-type:");
    if (at == std::string::npos)
      return false;
    const size_t lineEnd = lower.find("\r\n", at + 2);
    return lower.substr(at, lineEnd - at).find("audio/mpeg") != std::string::npos;
  }

  void TakeBody(const unsigned char* data, size_t n, int64_t nowNs)
  {
    if (firstDataNs_ < 0)
      firstDataNs_ = nowNs;
    NoteGap(nowNs);
    bodyBytes_ += n;
    frames_.Feed(data, n);
  }

  void NoteGap(int64_t nowNs)
  {
    maxGapNs_ = std::max(maxGapNs_, nowNs - lastDataNs_);
    lastDataNs_ = nowNs;
  }

  LUniqueFD fd_;
  Phase phase_ = Phase::kIdle;
  LListenerFault fault_ = LListenerFault::kNone;
  int socketErrno_ = 0;
  int64_t startedNs_ = 0;
  int64_t headerNs_ = -1;
  int64_t firstDataNs_ = -1;
  int64_t lastDataNs_ = 0;
  int64_t maxGapNs_ = 0;
  uint64_t bodyBytes_ = 0;
  std::string header_;
  LMp3FrameChecker frames_;
};
