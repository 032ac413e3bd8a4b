// Range headers from clients that get them wrong or push the limits: what
// the server ignores, refuses or cuts to the file.
#include <gtest/gtest.h>

#include "web/webletrange.h"

namespace {

TEST(WebletRangeTest, HeaderValues)
{
  struct Case {
    const char* header;
    uint64_t size;
    LRangeAnswer answer;
    uint64_t first;
    uint64_t last;
  };
  constexpr auto W = LRangeAnswer::Whole;
  constexpr auto P = LRangeAnswer::Partial;
  constexpr auto U = LRangeAnswer::Unsatisfiable;
  const Case cases[] = {
      {"", 100, W, 0, 0},
      {"bytes=0-0", 100, P, 0, 0},
      {"Bytes= 10 - 20 ", 100, P, 10, 20},
      {"bytes=99-", 100, P, 99, 99},
      {"bytes=100-", 100, U, 0, 0},
      {"bytes=0-", 0, U, 0, 0},
      {"bytes=-0", 100, U, 0, 0},
      {"bytes=-1", 0, U, 0, 0},
      {"bytes=-1", 100, P, 99, 99},
      {"bytes=50-99999999999999999999999", 100, P, 50, 99},
      {"bytes=99999999999999999999999-", 100, U, 0, 0},
      {"bytes=20-10", 100, W, 0, 0},
      {"bytes=1-2,4-5", 100, W, 0, 0},
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
}

TEST(WebletRangeTest, IfRangeNeedsTheExactTag)
{
  struct Case {
    const char* ifRange;
    bool holds;
  };
  const Case cases[] = {{"", true},           {"\"5-12\"", true},  {" \"5-12\" ", true},
                        {"W/\"5-12\"", false}, {"\"5-123\"", false}, {"\"15-12\"", false},
                        {"5-12", false},       {"\"5-12", false},   {"Mon, 07 Dec 2026 04:00:00 GMT", false}};
  for (const Case& c : cases)
    EXPECT_EQ(LWebletIfRangeHolds(c.ifRange, "5-12"), c.holds) << c.ifRange;
}

} // namespace
