#pragma once
// Byte ranges of static-file answers (Range and If-Range request headers).
#include <cstdint>

// The bytes first..last (inclusive) of a file.
struct LByteRange {
  uint64_t first = 0;
  uint64_t last = 0;
};

enum class LRangeAnswer {
  Whole,          // 200 with the whole file: no range, or one the server ignores
  Partial,        // 206 with the bytes of the range
  Unsatisfiable,  // 416: the range starts past the end of the file
};

// What to answer for a Range header value and a file of size bytes; range
// is set for Partial.  Only one range of unit "bytes" is honoured: a list
// of several, another unit or a value that is not a byte range are
// answered with the whole file.  A range's end past the file is cut to
// the file; a suffix longer than the file takes the whole file.
LRangeAnswer LWebletParseRange(const char* header, uint64_t size, LByteRange& range);

// Whether a Range may be honoured for a file whose entity tag is tag: true
// without If-Range, else only when If-Range names exactly that (strong)
// tag.  A date in If-Range never matches: the file answers carry no
// modification time of the file to compare it with.
bool LWebletIfRangeHolds(const char* ifRange, const char* tag);
