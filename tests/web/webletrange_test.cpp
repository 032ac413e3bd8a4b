// Range and If-Range values from clients that get them wrong or push the
// limits: what the server ignores, refuses or cuts to the file.
#include <gtest/gtest.h>

#include "web/webletrange.h"

namespace {

TEST(WebletRangeTest, HeaderValues)
{
  constexpr auto W = LRangeAnswer::Whole;
  constexpr auto P = LRangeAnswer::Partial;
  constexpr auto U = LRangeAnswer::Unsatisfiable;
  struct Case {
    const char* header;
    uint64_t size;
    LRangeAnswer answer;
    uint64_t first, last;
  } const cases[] = {
      {"Bytes= 10 - 20 ", 100, P, 10, 20},
      {"bytes=0-", 0, U, 0, 0},
      {"bytes=-0", 100, U, 0, 0},
      {"bytes=-1", 0, U, 0, 0},
      {"bytes=50-99999999999999999999999", 100, P, 50, 99},
      {"bytes=99999999999999999999999-", 100, U, 0, 0},
      {"bytes=20-10", 100, W, 0, 0},
      {"items=1-2", 100, W, 0, 0},
      {"bytes=-", 100, W, 0, 0},
      {"bytes=a-b", 100, W, 0, 0},
      {"bytes=1-2x", 100, W, 0, 0},
      {"bytes=--5", 100, W, 0, 0},
  };
  for (const Case& c : cases) {
    LByteRange range;
    EXPECT_EQ(LWebletParseRange(c.header, c.size, range), c.answer) << c.header;
    if (c.answer == P) {
      EXPECT_EQ(range.first, c.first) << c.header;
      EXPECT_EQ(range.last, c.last) << c.header;
    }
  }
  // If-Range must name the file's tag exactly; a weak tag or a date never does.
  for (const char* other : {"W/\"5-12\"", "\"5-123\"", "\"15-12\"", "5-12", "\"5-12", "Mon, 07 Dec 2026 04:00:00 GMT"})
    EXPECT_FALSE(LWebletIfRangeHolds(other, "5-12")) << other;
  for (const char* same : {"", " \"5-12\" "})
    EXPECT_TRUE(LWebletIfRangeHolds(same, "5-12")) << same;
}

} // namespace
