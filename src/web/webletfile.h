#pragma once
#include "base/thread.h"
#include "net/netbase.h"

// How a static-file answer ended.
enum class LWebletFileResult {
  Sent,           // 200 and the whole body, or 206 and the bytes of the range
  NotFound,       // 404 with Content-Length: 0
  NotModified,    // 304
  Unsatisfiable,  // 416: the range starts past the end of the file
  Failed,         // a send failed or the thread was told to stop: the
                  // response is cut and the connection must end
};

// The request's header values that shape a file answer, empty when absent.
struct LWebletFileConditions {
  const char* ifNoneMatch = "";
  const char* ifModifiedSince = "";
  const char* range = "";
  const char* ifRange = "";
};

// Answers a request with the file at path, on the calling connection
// thread (whose stop request every send tests).  Only regular files are
// served; anything else is answered like a missing file.  One byte range
// is honoured (206, or 416 past the end; see LWebletParseRange); every 200
// says so with Accept-Ranges.  The body is streamed in 1,024-byte pieces; a
// file that shrinks while it is sent ends the response early (Failed).
// firstByte, when given, receives the offset of the first byte sent (0 for
// a whole file), valid when the result is Sent.
LWebletFileResult LWebletAnswerFile(LThread& thread, LIPSocketTCPRef socket, const char* path,
                                    const LWebletFileConditions& conditions, uint64_t* firstByte = nullptr);

// The answer for a missing file: 404 with Content-Length: 0.
LWebletFileResult LWebletAnswerFileNotFound(LThread& thread, LIPSocketTCPRef socket);

// LWebletAnswerFile reduced to "was the whole file sent".
bool LWebletServeFile(LThread& thread, LIPSocketTCPRef socket, const char* path,
                      const LWebletFileConditions& conditions);
