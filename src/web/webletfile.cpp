#include "web/webletfile.h"

#include <ctime>
#include <sys/stat.h>

#include "base/fileclasses.h"
#include "base/formatter.h"
#include "base/stringtools.h"
#include "net/processsocket.h"
#include "web/webletcache.h"
#include "web/webletmime.h"

namespace {

constexpr char kFileNotFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
constexpr char kNotModified[] = "HTTP/1.1 304 Not Modified\r\n\r\n";
constexpr int kSendMs = 20000;
constexpr unsigned int kOpenLockMs = 1000;
constexpr unsigned int kPiece = 1024;

LWebletFileResult SendFixed(LThread& thread, LIPSocketTCPRef socket, const char* text, LWebletFileResult result)
{
  return ProcessSendString(thread, socket, text, kSendMs) == kProcessDone ? result : LWebletFileResult::Failed;
}

} // namespace

LWebletFileResult LWebletAnswerFileNotFound(LThread& thread, LIPSocketTCPRef socket)
{
  return SendFixed(thread, socket, kFileNotFound, LWebletFileResult::NotFound);
}

LWebletFileResult LWebletAnswerFile(LThread& thread, LIPSocketTCPRef socket, const char* path,
                                    const char* ifNoneMatch, const char* ifModifiedSince)
{
  // Checked before opening: opening a FIFO would block the connection
  // thread beyond the reach of its stop request, and a folder opens but
  // cannot be read.
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
    return LWebletAnswerFileNotFound(thread, socket);
  }
  LReadFile file(path, kOpenLockMs);
  if (!file) {
    return LWebletAnswerFileNotFound(thread, socket);
  }
  time_t modified = 0;
  file.GetFileModifiedTime(modified);
  uint64_t size = file.GetFileSizeBytes();

  char tag[kPathSize];
  LWebletFormatEntityTag(tag, modified, size);
  if (LWebletTagMatches(ifNoneMatch, tag)) {
    return SendFixed(thread, socket, kNotModified, LWebletFileResult::NotModified);
  }
  char date[kPathSize];
  LWebletFormatHTTPDate(date, time(nullptr));
  if (tstricmp(ifModifiedSince, date) == 0) {
    return SendFixed(thread, socket, kNotModified, LWebletFileResult::NotModified);
  }

  char length[32];
  LWebletFormatDecimal(length, static_cast<int64_t>(size));
  char header[kPathSize * 3];
  tsprintf(header,
           "HTTP/1.1 200 OK\r\nContent-Length: %s\r\nContent-Type: %s\r\nLast-Modified: %s\r\n"
           "ETag: \"%s\"\r\n\r\n",
           length, LPathToMimeType(path), date, tag);
  ProcessSendString(thread, socket, header, kSendMs);

  char piece[kPiece];
  uint64_t left = size;
  while (left > 0) {
    std::size_t want = left < kPiece ? static_cast<std::size_t>(left) : kPiece;
    std::size_t got = file.Read(piece, want);
    if (got == 0) {
      return LWebletFileResult::Failed;
    }
    if (ProcessSend(thread, socket, piece, static_cast<unsigned int>(got), kSendMs) != kProcessDone) {
      return LWebletFileResult::Failed;
    }
    left -= got;
  }
  return LWebletFileResult::Sent;
}

bool LWebletServeFile(LThread& thread, LIPSocketTCPRef socket, const char* path, const char* ifNoneMatch,
                      const char* ifModifiedSince)
{
  return LWebletAnswerFile(thread, socket, path, ifNoneMatch, ifModifiedSince) == LWebletFileResult::Sent;
}
