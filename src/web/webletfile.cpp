#include "web/webletfile.h"

#include <ctime>
#include <sys/stat.h>

#include "base/fileclasses.h"
#include "base/formatter.h"
#include "base/stringtools.h"
#include "net/processsocket.h"
#include "web/httpstatus.h"
#include "web/webletcache.h"
#include "web/webletmime.h"
#include "web/webletrange.h"

namespace {

constexpr char kFileNotFound[] = HTTP_404_NOT_FOUND "Content-Length: 0\r\n\r\n";
constexpr char kNotModified[] = HTTP_304_NOT_MODIFIED "\r\n";
constexpr char kRangeNotSatisfiable[] =
    HTTP_416_RANGE_NOT_SATISFIABLE "Content-Length: 0\r\nContent-Range: bytes */%s\r\n\r\n";
constexpr char kWholeHeader[] =
    HTTP_200_OK "Content-Length: %s\r\nContent-Type: %s\r\nLast-Modified: %s\r\nETag: \"%s\"\r\n"
                "Accept-Ranges: bytes\r\n\r\n";
constexpr char kPartialHeader[] =
    HTTP_206_PARTIAL_CONTENT "Content-Length: %s\r\nContent-Range: bytes %s-%s/%s\r\nContent-Type: %s\r\n"
                             "Last-Modified: %s\r\nETag: \"%s\"\r\nAccept-Ranges: bytes\r\n\r\n";
constexpr int kSendMs = 20000;
constexpr unsigned int kOpenLockMs = 1000;
constexpr unsigned int kPiece = 1024;

LWebletFileResult SendFixed(LThread& thread, LIPSocketTCPRef socket, const char* text, LWebletFileResult result)
{
  return ProcessSendString(thread, socket, text, kSendMs) == kProcessDone ? result : LWebletFileResult::Failed;
}

}  // namespace

LWebletFileResult LWebletAnswerFileNotFound(LThread& thread, LIPSocketTCPRef socket)
{
  return SendFixed(thread, socket, kFileNotFound, LWebletFileResult::NotFound);
}

LWebletFileResult LWebletAnswerFile(LThread& thread, LIPSocketTCPRef socket, const char* path,
                                    const LWebletFileConditions& conditions, uint64_t* firstByte)
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
  if (LWebletTagMatches(conditions.ifNoneMatch, tag)) {
    return SendFixed(thread, socket, kNotModified, LWebletFileResult::NotModified);
  }
  char date[kPathSize];
  LWebletFormatHTTPDate(date, time(nullptr));
  if (tstricmp(conditions.ifModifiedSince, date) == 0) {
    return SendFixed(thread, socket, kNotModified, LWebletFileResult::NotModified);
  }

  LByteRange range{0, size - 1};
  LRangeAnswer answer = LRangeAnswer::Whole;
  if (LWebletIfRangeHolds(conditions.ifRange, tag))
    answer = LWebletParseRange(conditions.range, size, range);
  char total[32];
  LWebletFormatDecimal(total, static_cast<int64_t>(size));
  if (answer == LRangeAnswer::Unsatisfiable) {
    char refusal[kPathSize];
    tsprintf(refusal, kRangeNotSatisfiable, total);
    return SendFixed(thread, socket, refusal, LWebletFileResult::Unsatisfiable);
  }
  if (answer == LRangeAnswer::Partial && !file.Seek(range.first)) {
    return LWebletFileResult::Failed;
  }
  const uint64_t body = answer == LRangeAnswer::Partial ? range.last - range.first + 1 : size;
  char length[32];
  LWebletFormatDecimal(length, static_cast<int64_t>(body));
  char header[kPathSize * 4];
  if (answer == LRangeAnswer::Partial) {
    char first[32], last[32];
    LWebletFormatDecimal(first, static_cast<int64_t>(range.first));
    LWebletFormatDecimal(last, static_cast<int64_t>(range.last));
    tsprintf(header, sizeof header, kPartialHeader, length, first, last, total, LPathToMimeType(path), date, tag);
  } else {
    tsprintf(header, sizeof header, kWholeHeader, length, LPathToMimeType(path), date, tag);
  }
  if (ProcessSendString(thread, socket, header, kSendMs) != kProcessDone) {
    return LWebletFileResult::Failed;
  }
  if (firstByte != nullptr) {
    *firstByte = answer == LRangeAnswer::Partial ? range.first : 0;
  }

  char piece[kPiece];
  uint64_t left = body;
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

bool LWebletServeFile(LThread& thread, LIPSocketTCPRef socket, const char* path,
                      const LWebletFileConditions& conditions)
{
  return LWebletAnswerFile(thread, socket, path, conditions) == LWebletFileResult::Sent;
}
