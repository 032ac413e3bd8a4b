#pragma once
#include <cstdint>
#include <ctime>

// The validators of a static-file response.

// A signed 64-bit decimal into out (at least 21 bytes).  Sizes and times
// are written with it because the formatter's %d is 32-bit and would turn
// sizes past 2 GiB negative.
void LWebletFormatDecimal(char* out, int64_t value);

// The entity tag: modification time and size in decimal, joined by '-'
// ("%d-%d"), into out (260 bytes).
void LWebletFormatEntityTag(char* out, time_t modified, uint64_t size);

// Whether an If-None-Match value names the tag.  The tag may sit anywhere
// in the value (quotes, a weak prefix and lists do not matter), but it must
// stand whole: a tag that is only part of a longer one ("5-12" inside
// "15-123") does not count.
bool LWebletTagMatches(const char* ifNoneMatch, const char* tag);

// An HTTP date of the given time in UTC: "Sun, 06 Nov 2094 08:49:37 GMT"
// (the year is written as 20 and two digits), into out (260 bytes).
void LWebletFormatHTTPDate(char* out, time_t when);
