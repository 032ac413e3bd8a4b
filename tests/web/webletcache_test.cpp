#include "web/webletcache.h"
#include "web/webletmime.h"

#include <string>

#include <gtest/gtest.h>

TEST(WebletMime, TableByExtensionInAnyCase)
{
  struct Case {
    const char* path;
    const char* type;
  };
  const Case cases[] = {
      {"/root/Page.HTML", "text/html"},
      {"/root/s.css", "text/css"},
      {"/root/101.Jpg", "image/jpeg"},
      {"/root/a.gif", "image/gif"},
      {"/High/Show.mp3", "audio/mpeg"},
      {"/root/README", "application/octet-stream"},     // no extension
      {"/root/archive.tar.gz", "application/octet-stream"},
      {"/root/page.htm", "application/octet-stream"},   // only exact extensions
      {"/root/dir.css/file", "application/octet-stream"},  // a dot in a folder is no extension
      {"/root/file.", "application/octet-stream"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(LPathToMimeType(c.path), c.type) << c.path;
  }
  EXPECT_STREQ(LExtToMimeType("MP3"), "audio/mpeg");
  EXPECT_STREQ(LExtToMimeType(""), "application/octet-stream");
}

TEST(WebletCache, EntityTagText)
{
  char tag[260];
  LWebletFormatEntityTag(tag, 1718000000, 1234);
  EXPECT_STREQ(tag, "1718000000-1234");
  LWebletFormatEntityTag(tag, 1718000000, 0);
  EXPECT_STREQ(tag, "1718000000-0");
  // Sizes past 2 GiB must not come out negative.
  LWebletFormatEntityTag(tag, 1718000000, 5000000000ull);
  EXPECT_STREQ(tag, "1718000000-5000000000");
}

TEST(WebletCache, TagMatchesOnlyWholeTags)
{
  const char* tag = "1718000000-12";
  EXPECT_TRUE(LWebletTagMatches("\"1718000000-12\"", tag));
  EXPECT_TRUE(LWebletTagMatches("1718000000-12", tag));
  EXPECT_TRUE(LWebletTagMatches("W/\"1718000000-12\"", tag));
  EXPECT_TRUE(LWebletTagMatches("\"1-2\", \"1718000000-12\"", tag));
  EXPECT_TRUE(LWebletTagMatches("\"1718000000-123\", \"1718000000-12\"", tag));
  // A longer tag of the same file written in the same second, or of another
  // time that ends in the same digits, is another version of the file.
  EXPECT_FALSE(LWebletTagMatches("\"1718000000-123\"", tag));
  EXPECT_FALSE(LWebletTagMatches("\"21718000000-12\"", tag));
  EXPECT_FALSE(LWebletTagMatches("\"1-1718000000-12\"", tag));
  EXPECT_FALSE(LWebletTagMatches("", tag));
  EXPECT_FALSE(LWebletTagMatches("*", tag));
  EXPECT_FALSE(LWebletTagMatches("anything", ""));
}

TEST(WebletCache, HTTPDates)
{
  char date[260];
  LWebletFormatHTTPDate(date, 1718000000);
  EXPECT_STREQ(date, "Mon, 10 Jun 2024 06:13:20 GMT");
  LWebletFormatHTTPDate(date, 1704070861);
  EXPECT_STREQ(date, "Mon, 01 Jan 2024 01:01:01 GMT");
  // 2000-03-05 (a Sunday) and the end of a year.
  LWebletFormatHTTPDate(date, 952214400);
  EXPECT_STREQ(date, "Sun, 05 Mar 2000 00:00:00 GMT");
  LWebletFormatHTTPDate(date, 1735689599);
  EXPECT_STREQ(date, "Tue, 31 Dec 2024 23:59:59 GMT");
}
