#pragma once
#include "base/hashtable.h"
#include "base/stringtools.h"
#include "base/thread.h"
#include "net/netbase.h"
#include "web/webletfile.h"
#include "web/websession.h"

// Query and body fields of a request.
class LWebletFormData : public LHashTable {
public:
  void LoadGetData(const char* text) { LoadHTTPString(text); }
  void LoadPostData(const char* text) { LoadHTTPString(text); }
};

// Cookies of a request.  The Cookie header is read with the form-field
// rules, so pairs are separated by '&' and not by "; ".
class LWebletCookieData : public LHashTable {
public:
  void LoadCookieData(const char* text) { LoadHTTPString(text); }
};

// The context of one request, built on the connection thread's stack and
// destroyed when the request is done (which flushes a changed session).
// Everything is used by the connection thread only; every send made for the
// page tests that thread's stop request.
class LWebletForm {
public:
  // owner: the connection's socket, which a handler may take (TakeSocket).
  LWebletForm(LThread& thread, LIPSocketTCPRef socket, LIPSocketTCP* owner = nullptr)
      : thread(thread), socket(socket), owner_(owner)
  {
  }
  LWebletForm(const LWebletForm&) = delete;
  LWebletForm& operator=(const LWebletForm&) = delete;

  // A request header's value, or the empty text.
  const char* GetHTTPHeader(const char* name) const { return headers.GetParm(name, ""); }
  const char* GetReferrer() const { return GetHTTPHeader("Referer"); }
  const char* GetRequestHost() const { return GetHTTPHeader("Host"); }
  const char* GetUserAgent() const { return GetHTTPHeader("User-Agent"); }

  // Form fields (query and body) by name.
  const char* GetParm(const char* name, const char* def) const { return formData.GetParm(name, def); }
  int GetInt(const char* name, int def) const { return formData.GetInt(name, def); }
  char* GetString(const char* name, const char* def, char* buffer) const
  {
    return formData.GetString(name, def, buffer);
  }

  // A header that players and podcast clients spell in varying case
  // ("icy-metadata", "range"): its value, or the empty text.
  const char* GetHTTPHeaderAnyCase(const char* name) const { return headers.GetParmAnyCase(name, ""); }

  // The conditional and range headers of the request, for a file answer.
  LWebletFileConditions GetFileConditions() const
  {
    return {GetHTTPHeader("If-None-Match"), GetHTTPHeader("If-Modified-Since"), GetHTTPHeaderAnyCase("Range"),
            GetHTTPHeaderAnyCase("If-Range")};
  }

  // Answers with a file, never with 304 (no conditional headers are passed;
  // a byte range is honoured).
  // True when the whole file was sent.
  bool ServeFile(const char* path);
  // Takes the connection's socket over: the connection then ends without
  // touching it.  -1 when the form has no owning connection.
  int TakeSocket() { return owner_ != nullptr ? owner_->Release() : -1; }

  LThread& thread;
  LIPSocketTCPRef socket;
  LWebletFormData formData;
  LWebletCookieData cookies;
  LWebletSessionData session;
  LHashTable headers;
  // The URI-decoded path without its leading '/'; empty until the headers
  // have been read.
  char pageName[kPathSize] = "";

private:
  LIPSocketTCP* owner_;
};
