#pragma once
#include "base/thread.h"
#include "net/netbase.h"

// How a static-file answer ended.
enum class LWebletFileResult {
  Sent,         // 200 and the whole body
  NotFound,     // 404 with Content-Length: 0
  NotModified,  // 304
  Failed,       // a send failed or the thread was told to stop: the
                // response is cut and the connection must end
};

// Answers a request with the file at path, on the calling connection
// thread (whose stop request every send tests).  ifNoneMatch and
// ifModifiedSince are the request's header values, empty when absent.
// Only regular files are served; anything else is answered like a missing
// file.  The body is streamed in 1,024-byte pieces; a file that shrinks
// while it is sent ends the response early (Failed).
LWebletFileResult LWebletAnswerFile(LThread& thread, LIPSocketTCPRef socket, const char* path,
                                    const char* ifNoneMatch, const char* ifModifiedSince);

// The answer for a missing file: 404 with Content-Length: 0.
LWebletFileResult LWebletAnswerFileNotFound(LThread& thread, LIPSocketTCPRef socket);

// LWebletAnswerFile reduced to "was the whole file sent".
bool LWebletServeFile(LThread& thread, LIPSocketTCPRef socket, const char* path, const char* ifNoneMatch,
                      const char* ifModifiedSince);
