#pragma once
// A small HTTP/1.0 client over the cooperative socket operations: fetching a
// URL into a file and posting a form.  Both are templates over the caller's
// process interface P, which answers IsToStop() and, when it shows progress
// (a progress dialog, a wizard page), also takes SetProgress(double 0..1).
// Results: 0 done, 1 stopped, 2 failed.  Only plain http on a TCP port: no
// TLS, no redirects, no chunked bodies.  Both run on the caller's thread.

#include "base/fileclasses.h"
#include "base/processresult.h"
#include "base/stringtools.h"
#include "base/ticks.h"
#include "net/processconnect.h"
#include "net/processsocket.h"
#include "web/httpmessage.h"

#include <cstdint>
#include <cstring>

inline constexpr int kHTTPConnectTimeoutMs = 12000;
// Sending the request and reading each line of the answer's head.
inline constexpr int kHTTPHeadTimeoutMs = 10000;
inline constexpr int kHTTPBodyTimeoutMs = 7500;
inline constexpr unsigned int kHTTPBodyPiece = 1028;
inline constexpr unsigned int kHTTPFileLockMs = 200;
inline constexpr int kHTTPCloseTimeoutMs = 5000;

// The file a download writes.  Unless Keep() is called, the destructor
// closes and deletes it, so every way out of a failed or stopped download
// leaves no partial file behind.
class LHTTPDownloadTarget {
public:
  // Creates or truncates path, waiting up to kHTTPFileLockMs for its lock.
  explicit LHTTPDownloadTarget(const char* path);
  ~LHTTPDownloadTarget();
  LHTTPDownloadTarget(const LHTTPDownloadTarget&) = delete;
  LHTTPDownloadTarget& operator=(const LHTTPDownloadTarget&) = delete;

  bool IsOpen() const { return static_cast<bool>(file_); }
  // False unless every byte was written (a full disk, a size limit).
  bool Write(const void* data, unsigned int bytes);
  void Keep() { keep_ = true; }

private:
  char path_[kPathSize];
  LWriteFile file_;
  bool keep_ = false;
};

// Ends the sending direction (a FIN after the queued data) but keeps the
// socket readable.
void LHTTPShutdownSend(LIPSocketTCPRef socket);

template <class P>
void LHTTPSetProgress(P& process, double value)
{
  if constexpr (requires { process.SetProgress(value); })
    process.SetProgress(value < 1.0 ? value : 1.0);
}

// Reads the answer's status line; 2 unless it is a 2xx or 3xx answer.
template <class P>
LProcessResult ProcessHTTPRecvStatus(P& process, LIPSocketTCPRef socket)
{
  char line[kPathSize];
  LProcessResult r = ProcessRecvLine(process, socket, line, kHTTPHeadTimeoutMs);
  if (r != kProcessDone)
    return r;
  return LHTTPStatusIsSuccess(LHTTPStatusCode(line)) ? kProcessDone : kProcessFailed;
}

// Reads header lines up to the empty line.  hasLength tells whether a
// Content-Length came.  A head that breaks off before its empty line fails:
// taken as complete, a body without a length would then be stored as empty.
template <class P>
LProcessResult ProcessHTTPRecvHeaders(P& process, LIPSocketTCPRef socket, bool& hasLength, uint64_t& length)
{
  hasLength = false;
  for (;;) {
    char line[kPathSize];
    LProcessResult r = ProcessRecvLine(process, socket, line, kHTTPHeadTimeoutMs);
    if (r != kProcessDone)
      return r;
    if (*line == 0)
      return kProcessDone;
    switch (LHTTPParseContentLength(line, length)) {
    case LHTTPLengthHeader::Length: hasLength = true; break;
    case LHTTPLengthHeader::Invalid: return kProcessFailed;
    case LHTTPLengthHeader::Other: break;
    }
  }
}

// A body of known length, in pieces of kHTTPBodyPiece bytes; each piece
// advances the progress by one piece's share of the length.
template <class P>
LProcessResult ProcessHTTPRecvBodyOfLength(P& process, LIPSocketTCPRef socket, LHTTPDownloadTarget& target,
                                           uint64_t length)
{
  const double step = length != 0 ? static_cast<double>(kHTTPBodyPiece) / static_cast<double>(length) : 1.0;
  double progress = 0;
  char piece[kHTTPBodyPiece];
  for (uint64_t left = length; left > 0;) {
    unsigned int size = left < kHTTPBodyPiece ? static_cast<unsigned int>(left) : kHTTPBodyPiece;
    LProcessResult r = ProcessRecvBytes(process, socket, piece, size, kHTTPBodyTimeoutMs);
    if (r != kProcessDone)
      return r;
    if (!target.Write(piece, size))
      return kProcessFailed;
    left -= size;
    progress += step;
    LHTTPSetProgress(process, progress);
  }
  return kProcessDone;
}

// A body without a length ends when the server closes the connection.  A
// server that falls silent for kHTTPBodyTimeoutMs has not ended its body,
// so that is a failure, not a complete file.
template <class P>
LProcessResult ProcessHTTPRecvBodyToClose(P& process, LIPSocketTCPRef socket, LHTTPDownloadTarget& target)
{
  char piece[kHTTPBodyPiece];
  for (;;) {
    // The wait alone tells silence (2 here) from the close that the receive
    // below reports as 2.
    LProcessResult r = ProcessWaitForDataOrClose(process, socket, kHTTPBodyTimeoutMs);
    if (r != kProcessDone)
      return r;
    unsigned int received = 0;
    r = ProcessRecvReady(process, socket, piece, sizeof piece, received, kHTTPBodyTimeoutMs);
    if (r == kProcessFailed)
      return kProcessDone;
    if (r != kProcessDone)
      return r;
    if (received != 0 && !target.Write(piece, received))
      return kProcessFailed;
  }
}

// Downloads url into the file at path: 0 when the whole body is stored.
// On failure or stop after the file was opened, the file is deleted.
template <class P>
LProcessResult ProcessHTTPDownloadFile(P& process, const char* url, const char* path)
{
  char host[kPathSize];
  char target[kPathSize];
  if (!LHTTPSplitURL(url, host, target))
    return kProcessFailed;
  LIPSocketTCP socket;
  LProcessResult r = ProcessConnect(process, socket, host, kHTTPDefaultPort, kHTTPConnectTimeoutMs);
  if (r != kProcessDone)
    return r;

  char request[kHTTPPostHeadSize];
  LHTTPFormatGet(request, sizeof request, target, host);
  r = ProcessSendString(process, socket, request, kHTTPHeadTimeoutMs);
  if (r == kProcessDone)
    r = ProcessHTTPRecvStatus(process, socket);
  if (r != kProcessDone)
    return r;

  LHTTPDownloadTarget file(path);
  if (!file.IsOpen())
    return kProcessFailed;
  bool hasLength = false;
  uint64_t length = 0;
  r = ProcessHTTPRecvHeaders(process, socket, hasLength, length);
  if (r != kProcessDone)
    return r;
  LHTTPSetProgress(process, 0.0);
  r = hasLength ? ProcessHTTPRecvBodyOfLength(process, socket, file, length)
                : ProcessHTTPRecvBodyToClose(process, socket, file);
  if (r == kProcessDone)
    file.Keep();
  return r;
}

// Closes a connection after the last send without losing the data still
// queued: closing a socket that holds unread bytes (an early answer) resets
// the connection and drops what was not yet transmitted.  So the sending
// side is shut, the answer is read and thrown away until the server closes
// or timeout ms have passed, and only then is the socket closed.
template <class P>
LProcessResult ProcessHTTPCloseGracefully(P& process, LIPSocketTCP& socket, int timeout)
{
  LHTTPShutdownSend(socket);
  const uint32_t start = GetTickCount();
  LProcessResult r = kProcessDone;
  for (;;) {
    int left = timeout - static_cast<int>(GetTickCount() - start);
    if (left <= 0)
      break;
    char discard[kHTTPBodyPiece];
    unsigned int received = 0;
    r = ProcessRecvReady(process, socket, discard, sizeof discard, received, left);
    if (r != kProcessDone)
      break;
  }
  ProcessDisconnect(process, socket, timeout);
  // Closed by the server, silent or broken: the request is out either way.
  return r == kProcessStopped ? kProcessStopped : kProcessDone;
}

// Posts body (form-encoded text) to url; timeout (ms) bounds the connect
// and every send.  The server's answer is not looked at.
template <class P>
LProcessResult ProcessHTTPPostForm(P& process, const char* url, const char* body, int timeout)
{
  char host[kPathSize];
  char target[kPathSize];
  if (!LHTTPSplitURL(url, host, target))
    return kProcessFailed;
  const size_t bodyLength = body != nullptr ? strlen(body) : 0;
  if (bodyLength > INT32_MAX)
    return kProcessFailed;
  LIPSocketTCP socket;
  LProcessResult r = ProcessConnect(process, socket, host, kHTTPDefaultPort, timeout);
  if (r != kProcessDone)
    return r;
  char head[kHTTPPostHeadSize];
  LHTTPFormatPost(head, sizeof head, target, host, static_cast<int>(bodyLength));
  r = ProcessSendString(process, socket, head, timeout);
  if (r == kProcessDone)
    r = ProcessSend(process, socket, body, static_cast<unsigned int>(bodyLength), timeout);
  if (r != kProcessDone)
    return r;
  return ProcessHTTPCloseGracefully(process, socket, kHTTPCloseTimeoutMs);
}
