#include "web/webletrequest.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/ticks.h"
#include "net/processsocket.h"
#include "web/httpstatus.h"

namespace {

struct OutcomeResponse {
  LWebletRequestOutcome outcome;
  const char* text;
};

constexpr OutcomeResponse kResponses[] = {
    {LWebletRequestOutcome::NotImplemented, HTTP_501_NOT_IMPLEMENTED HTTP_CLOSE "\r\n"},
    {LWebletRequestOutcome::NotFound, HTTP_404_NOT_FOUND HTTP_CLOSE "\r\n"},
    {LWebletRequestOutcome::TooLong, HTTP_500_TOO_LONG HTTP_CLOSE "\r\n"},
};

}  // namespace

const char* LWebletOutcomeResponse(LWebletRequestOutcome outcome)
{
  for (const OutcomeResponse& entry : kResponses) {
    if (entry.outcome == outcome) {
      return entry.text;
    }
  }
  return nullptr;
}

namespace {

// What is left of a deadline on the monotonic clock, at least 1 ms (a line
// read with nothing left fails at its first wait).
int MsLeft(int64_t deadline)
{
  const int64_t left = deadline - GetMonotonicMs();
  return left > 0 ? static_cast<int>(left) : 1;
}

}  // namespace

LWebletRequestOutcome LWebletReadRequestHead(LWebletForm& form, LWebletRequestHead& head, int headMs)
{
  const int64_t deadline = GetMonotonicMs() + headMs;
  char line[kPathSize];
  if (ProcessRecvLine(form.thread, form.socket, line, MsLeft(deadline)) != kProcessDone) {
    return LWebletRequestOutcome::Dropped;
  }
  LWebletSplitRequestLine(line, head.line);
  if (!LWebletIsMethodServed(head.line.method)) {
    return LWebletRequestOutcome::NotImplemented;
  }
  head.isPost = std::strcmp(head.line.method, "POST") == 0;

  if (const char* query = LWebletSplitQuery(head.line.target)) {
    form.formData.LoadGetData(query);
  }
  char path[kPathSize];
  if (!LWebletDecodePath(head.line.target, path)) {
    return LWebletRequestOutcome::NotFound;
  }

  for (;;) {
    if (ProcessRecvLine(form.thread, form.socket, line, MsLeft(deadline)) != kProcessDone) {
      return LWebletRequestOutcome::Dropped;
    }
    if (line[0] == 0) {
      break;
    }
    LWebletStoreHeaderLine(line, form.headers);
  }

  head.persistent = LWebletIsPersistent(head.line, form.GetHTTPHeader("Connection"));
  form.cookies.LoadCookieData(form.GetHTTPHeader("Cookie"));
  tlstrcpy(form.pageName, path + 1);
  return LWebletRequestOutcome::Ready;
}

LWebletRequestOutcome LWebletReadRequestBody(LWebletForm& form, const LWebletRequestHead& head)
{
  if (!head.isPost) {
    return LWebletRequestOutcome::Ready;
  }
  int length = form.headers.GetInt("Content-Length", 0);
  if (length <= 0) {
    return LWebletRequestOutcome::Ready;
  }
  if (length > kWebletMaxContentLength) {
    return LWebletRequestOutcome::TooLong;
  }
  std::unique_ptr<char[]> body(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
  if (!body) {
    return LWebletRequestOutcome::Dropped;
  }
  if (ProcessRecvBytes(form.thread, form.socket, body.get(), static_cast<unsigned int>(length),
                       length + kWebletBodyBaseMs) != kProcessDone) {
    return LWebletRequestOutcome::Dropped;
  }
  body[length] = 0;
  form.formData.LoadPostData(body.get());
  return LWebletRequestOutcome::Ready;
}
