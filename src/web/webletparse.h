#pragma once
#include "base/hashtable.h"
#include "base/stringtools.h"

// The text rules of an HTTP request, apart from any socket: how a request
// line splits, which paths are refused, how a header line is stored, when a
// connection stays open.  Every text here is at most 259 characters.

// Protocol versions are kept in thousandths, so that "1.1" compares exactly.
inline constexpr unsigned int kWebletVersion11 = 1100;

struct LWebletRequestLine {
  char method[kPathSize];
  char target[kPathSize];
  // "HTTP/1.1" gives 1100; a missing or unreadable version gives 0.
  unsigned int version;
};

// Splits a request line at white space (every byte below 33): the method,
// the target, then whatever follows the next '/' read as a decimal number.
void LWebletSplitRequestLine(const char* line, LWebletRequestLine& out);

// Reads the leading decimal number of text ("1.1", "2", "1.10") in
// thousandths; digits after the third decimal are dropped and the value
// saturates instead of wrapping.
unsigned int LWebletParseVersion(const char* text);

// True for the two methods served.
bool LWebletIsMethodServed(const char* method);

// Cuts target at '?' in place and returns the query text after it (null
// when there is none).
const char* LWebletSplitQuery(char* target);

// URI-decodes the path part of a target into path (260 bytes) and tells
// whether it may be served: it must begin with '/' and hold no "..".
bool LWebletDecodePath(const char* target, char* path);

// Distinct header names kept per request.  The header lines themselves are
// unlimited in number, so without a cap one client could fill the memory
// (and spend quadratic time in the list) with endless distinct names.
inline constexpr std::size_t kWebletMaxHeaders = 256;

// Stores one header line: the name up to the first ':', the value after
// the white space that follows it.  A line without ':' is all name.  New
// names past kWebletMaxHeaders are dropped.
void LWebletStoreHeaderLine(const char* line, LHashTable& headers);

// Whether the connection may stay open after this request: a GET of
// HTTP/1.1 or later whose Connection header does not contain "close".
bool LWebletIsPersistent(const LWebletRequestLine& request, const char* connectionHeader);
