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

TEST(WebletParse, LongTargetCutLineLosesItsVersion)
{
  // The line reader keeps 259 characters: "GET " and 255 of a 300-character
  // target, so no version survives and the connection will not persist.
  std::string line = "GET /" + std::string(299, 'a') + " HTTP/1.1";
  line.resize(259);
  LWebletRequestLine r = Split(line);
  EXPECT_EQ(std::strlen(r.target), 255u);
  EXPECT_EQ(r.version, 0u);
  EXPECT_FALSE(LWebletIsPersistent(r, ""));
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

TEST(WebletParse, OnlyExactGetAndPostAreServed)
{
  EXPECT_TRUE(LWebletIsMethodServed("GET"));
  EXPECT_TRUE(LWebletIsMethodServed("POST"));
  for (const char* m : {"HEAD", "get", "Post", "GETX", "", "PUT", "OPTIONS"}) {
    EXPECT_FALSE(LWebletIsMethodServed(m)) << m;
  }
}

TEST(WebletParse, QueryIsCutAtTheFirstQuestionMark)
{
  char target[260] = "/a?b=1?c=2";
  const char* query = LWebletSplitQuery(target);
  ASSERT_NE(query, nullptr);
  EXPECT_STREQ(target, "/a");
  EXPECT_STREQ(query, "b=1?c=2");
  char plain[260] = "/plain";
  EXPECT_EQ(LWebletSplitQuery(plain), nullptr);
  EXPECT_STREQ(plain, "/plain");
}

TEST(WebletParse, PathsAreDecodedAndTraversalIsRefused)
{
  struct Case {
    const char* target;
    bool served;
    const char* path;
  };
  const Case cases[] = {
      {"/a/../b", false, "/a/../b"},
      {"%2e%2e/x", false, "../x"},     // decodes to a path not starting with '/'
      {"/%2E%2E/x", false, "/../x"},
      {"/.%2e/x", false, "/../x"},
      {"/x..", false, "/x.."},         // ".." anywhere is refused
      {"/%00.%00./x", false, "/../x"}, // dropped zero bytes cannot split the dots
      {"", false, ""},
      {"x", false, "x"},
      {"/", true, "/"},
      {"/a%2Fb", true, "/a/b"},
      {"/a+b%20c", true, "/a b c"},
      {"/s.css", true, "/s.css"},
      {"/./x", true, "/./x"},
  };
  for (const Case& c : cases) {
    char path[260];
    EXPECT_EQ(LWebletDecodePath(c.target, path), c.served) << c.target;
    EXPECT_STREQ(path, c.path) << c.target;
  }
  std::string longTarget = "/" + std::string(400, 'p');
  char path[260];
  EXPECT_TRUE(LWebletDecodePath(longTarget.c_str(), path));
  EXPECT_EQ(std::strlen(path), 259u);
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

TEST(WebletParse, Persistence)
{
  auto request = [](const char* method, unsigned int version) {
    LWebletRequestLine r{};
    std::strcpy(r.method, method);
    r.version = version;
    return r;
  };
  EXPECT_TRUE(LWebletIsPersistent(request("GET", 1100), ""));
  EXPECT_TRUE(LWebletIsPersistent(request("GET", 2000), "keep-alive"));
  EXPECT_TRUE(LWebletIsPersistent(request("GET", 1100), "Close"));  // the test is case-sensitive
  EXPECT_FALSE(LWebletIsPersistent(request("GET", 1100), "close"));
  EXPECT_FALSE(LWebletIsPersistent(request("GET", 1100), "keep-alive, close"));
  EXPECT_FALSE(LWebletIsPersistent(request("GET", 1000), ""));
  EXPECT_FALSE(LWebletIsPersistent(request("GET", 1099), ""));
  EXPECT_FALSE(LWebletIsPersistent(request("POST", 1100), ""));
}
