#pragma once
#include "web/webletform.h"
#include "web/webletparse.h"

// Reading one request from the connection's socket into its form.  The
// reading is split in two so that the connection can load the session (a
// file-system step) between head and body, and so that the reader itself
// touches nothing but the socket and the form.

// The request line and its headers together may take this long by default
// (WebServer/RequestHeadMs).
inline constexpr int kWebletRequestHeadMs = 20000;
inline constexpr int kWebletSendMs = 20000;
// A body may take this long plus one millisecond per byte.
inline constexpr int kWebletBodyBaseMs = 20000;
inline constexpr int kWebletMaxContentLength = 1000000;

enum class LWebletRequestOutcome {
  Ready,           // go on
  Dropped,         // nothing to answer: a read failed or the thread stops
  NotImplemented,  // a method other than GET or POST (an empty line too)
  NotFound,        // a path that does not begin with '/' or holds ".."
  TooLong,         // a Content-Length above the limit
};

struct LWebletRequestHead {
  LWebletRequestLine line;
  bool isPost;
  // Whether the connection may serve another request after this one (a
  // handler closes it whatever this says).
  bool persistent;
};

// Reads the request line and the headers: splits the line, checks the
// method, loads the query into the form data, decodes and checks the path,
// stores the headers, decides persistence, loads the cookies and sets the
// page name.  The reads use the form's socket and thread; the whole head
// must arrive within headMs.
LWebletRequestOutcome LWebletReadRequestHead(LWebletForm& form, LWebletRequestHead& head, int headMs);

// For a POST with a Content-Length above 0: checks the length and reads the
// body into the form data.
LWebletRequestOutcome LWebletReadRequestBody(LWebletForm& form, const LWebletRequestHead& head);

// The fixed answer to an outcome, or null when there is none to send.
const char* LWebletOutcomeResponse(LWebletRequestOutcome outcome);
