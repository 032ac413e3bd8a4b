#include "web/webletparse.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

LWebletRequestLine Split(const std::string& line)
{
  LWebletRequestLine out;
  memset(&out, 'z', sizeof out);
  LWebletSplitRequestLine(line.c_str(), out);
  return out;
}

} // namespace

TEST(WebletParse, RequestLinePieces)
{
  struct Case {
    const char* line;
    const char* method;
    const char* target;
    unsigned int version;
  };
  const Case cases[] = {
      {"GET /x HTTP/1.1", "GET", "/x", 1100},
      {"POST /form HTTP/1.0", "POST", "/form", 1000},
      {"GET /x", "GET", "/x", 0},                 // no version
      {"GET \t\x01 /x \x7f HTTP/2", "GET", "/x", 2000},  // any byte below 33 separates; DEL does not
      {"GET /x HTTP/1.1 trailing", "GET", "/x", 1100},
      {"GET /x junk/1.10", "GET", "/x", 1100},   // only what follows the next '/' counts
      {"GET /x HTTP/", "GET", "/x", 0},
      {"GET /x HTTP/abc", "GET", "/x", 0},
      {"", "", "", 0},                           // an empty line
      {" GET /x HTTP/1.1", "", "GET", 0},        // leading white space: empty method
      {"GET", "GET", "", 0},
  };
  for (const Case& c : cases) {
    LWebletRequestLine r = Split(c.line);
    EXPECT_STREQ(r.method, c.method) << c.line;
    EXPECT_STREQ(r.target, c.target) << c.line;
    EXPECT_EQ(r.version, c.version) << c.line;
  }
}

TEST(WebletParse, VersionNumbers)
{
  EXPECT_EQ(LWebletParseVersion("1.1"), 1100u);
  EXPECT_EQ(LWebletParseVersion("1.10"), 1100u);
  EXPECT_EQ(LWebletParseVersion("1.05"), 1050u);
  EXPECT_EQ(LWebletParseVersion("1.0999999"), 1099u);
  EXPECT_EQ(LWebletParseVersion("1.1abc"), 1100u);
  EXPECT_EQ(LWebletParseVersion(""), 0u);
  EXPECT_EQ(LWebletParseVersion(".5"), 500u);
  // A huge number saturates high instead of wrapping to something small.
  EXPECT_GE(LWebletParseVersion("99999999999999999999.9"), 1000000000u);
}

TEST(WebletParse, HeaderLines)
{
  LHashTable headers;
  LWebletStoreHeaderLine("Host: example:1085", headers);
  LWebletStoreHeaderLine("Referer:\t  http://a:1/b?c", headers);
  LWebletStoreHeaderLine("NoColon here", headers);
  LWebletStoreHeaderLine("Empty:", headers);
  LWebletStoreHeaderLine("Dup: first", headers);
  LWebletStoreHeaderLine("Dup: second", headers);
  LWebletStoreHeaderLine("Trailing: v  ", headers);
  EXPECT_STREQ(headers.GetParm("Host", ""), "example:1085");
  EXPECT_STREQ(headers.GetParm("Referer", ""), "http://a:1/b?c");
  EXPECT_STREQ(headers.GetParm("NoColon here", "<missing>"), "");
  EXPECT_STREQ(headers.GetParm("Empty", "<missing>"), "");
  EXPECT_STREQ(headers.GetParm("Dup", ""), "second");  // the last of equal headers wins
  EXPECT_STREQ(headers.GetParm("Trailing", ""), "v  ");
  EXPECT_STREQ(headers.GetParm("host", "<missing>"), "<missing>");
}

TEST(WebletParse, DistinctHeaderNamesAreCapped)
{
  LHashTable headers;
  for (int i = 0; i < 1000; ++i) {
    std::string line = "X-" + std::to_string(i) + ": v";
    LWebletStoreHeaderLine(line.c_str(), headers);
  }
  EXPECT_EQ(headers.GetCount(), kWebletMaxHeaders);
  EXPECT_STREQ(headers.GetParm("X-999", "<dropped>"), "<dropped>");
  // A name already stored is still replaced after the cap is reached.
  LWebletStoreHeaderLine("X-0: new", headers);
  EXPECT_STREQ(headers.GetParm("X-0", ""), "new");
}

