#include "base/stringlong.h"
#include "base/stringtools.h"
#include "base/stringwriters.h"

#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

TEST(StringCopy, CutsAtSizeAndReportsBytesCopied)
{
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(tstrlcpy(buf, "abcdefghij", sizeof buf), 7u);
  EXPECT_STREQ(buf, "abcdefg");
  EXPECT_EQ(tstrlcpy(buf, "ab", sizeof buf), 2u);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(tstrlcpy(buf, nullptr, sizeof buf), 0u);
  EXPECT_STREQ(buf, "");

  // Size 1 leaves only the terminator, size 0 touches nothing.
  buf[0] = 'q';
  EXPECT_EQ(tstrlcpy(buf, "abc", 1), 0u);
  EXPECT_EQ(buf[0], 0);
  buf[0] = 'q';
  EXPECT_EQ(tstrlcpy(buf, "abc", 0), 0u);
  EXPECT_EQ(buf[0], 'q');
}

TEST(StringCopy, PathSizeCopyNeverOverflows)
{
  std::string longText(1000, 'a');
  char buf[kPathSize + 8];
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(tlstrcpy(buf, longText.c_str()), 259u);
  EXPECT_EQ(std::strlen(buf), 259u);
  EXPECT_EQ(buf[kPathSize], 'z');
  EXPECT_EQ(LCopyFromUTF8(buf, "\xc3\xbc", 2), 1u);
}

TEST(StringToInt, SignsWhiteSpaceAndGarbage)
{
  EXPECT_EQ(ttoi("42"), 42);
  EXPECT_EQ(ttoi("  \t-17x"), -17);
  EXPECT_EQ(ttoi("+8"), 8);
  EXPECT_EQ(ttoi("abc"), 0);
  EXPECT_EQ(ttoi(""), 0);
  EXPECT_EQ(ttoi("-"), 0);
  EXPECT_EQ(ttoi(nullptr), 0);
  EXPECT_EQ(ttoi("12 34"), 12);
  EXPECT_EQ(ttoi("2147483647"), INT_MAX);
  EXPECT_EQ(ttoi("-2147483648"), INT_MIN);
  // Out of range: clamped, never wrapped to the other sign.
  EXPECT_EQ(ttoi("2147483648"), INT_MAX);
  EXPECT_EQ(ttoi("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(ttoi("-99999999999999999999999"), INT_MIN);
}

TEST(StringCase, InPlaceChangesOnlyAsciiLetters)
{
  char text[] = "AbC-\xc3\x9c\xfe z9";
  EXPECT_EQ(strlwr(text), text);
  EXPECT_STREQ(text, "abc-\xc3\x9c\xfe z9");
  strupr(text);
  EXPECT_STREQ(text, "ABC-\xc3\x9c\xfe Z9");
  tstrlwr(text);
  EXPECT_STREQ(text, "abc-\xc3\x9c\xfe z9");

  EXPECT_EQ(tstricmp("Content-Length", "content-LENGTH"), 0);
  EXPECT_LT(tstricmp("a", "B"), 0);
  EXPECT_NE(tstrcmp("a", "A"), 0);
  const char* hay = "GET /x HTTP/1.0";
  EXPECT_EQ(tstrstr(hay, "HTTP"), hay + 7);
  EXPECT_EQ(tstrstr(hay, "http"), nullptr);
  EXPECT_EQ(tstrchr(hay, '/'), hay + 4);
  EXPECT_EQ(tstrchr(hay, '#'), nullptr);

  char path[] = "a\\b\\c";
  ReplaceChar(path, '\\', '/');
  EXPECT_STREQ(path, "a/b/c");
  ReplaceChar(nullptr, 'a', 'b');
}

TEST(StringEndian, ReversesBytes)
{
  uint16_t s = 0x1234;
  LEndianReverse(s);
  EXPECT_EQ(s, 0x3412);
  uint32_t l = 0x12345678u;
  LEndianReverse(l);
  EXPECT_EQ(l, 0x78563412u);
  LEndianReverse(l);
  EXPECT_EQ(l, 0x12345678u);
}

TEST(StringLong, EmptyStringIsValidText)
{
  LStringLongTemplate s;
  EXPECT_STREQ(s.c_str(), "");
  EXPECT_EQ(s.GetLength(), 0u);
  EXPECT_EQ(s.GetCapacity(), 0u);
  LStringLongTemplate sized(16);
  EXPECT_EQ(sized.GetCapacity(), 16u);
  EXPECT_STREQ(sized.c_str(), "");
}

TEST(StringLong, GrowKeepsContentAndNeverShrinks)
{
  LStringLongTemplate s;
  {
    LStringLongTemplateWriter w(s);
    for (char c : std::string("hello")) {
      w.AddChar(c);
    }
  }
  EXPECT_TRUE(s.GrowToSize(1000));
  EXPECT_EQ(s.GetCapacity(), 1000u);
  EXPECT_STREQ(s.c_str(), "hello");
  EXPECT_TRUE(s.GrowToSize(10));
  EXPECT_EQ(s.GetCapacity(), 1000u);
}

TEST(StringLong, CopyAndMoveOwnTheirArrays)
{
  LStringLongTemplate a;
  LStringLongTemplateWriter(a).AddChar('x');
  LStringLongTemplate b(a);
  LStringLongTemplateAppender(b).AddChar('y');
  EXPECT_STREQ(a.c_str(), "x");
  EXPECT_STREQ(b.c_str(), "xy");
  LStringLongTemplate c(std::move(b));
  EXPECT_STREQ(c.c_str(), "xy");
  EXPECT_STREQ(b.c_str(), "");
  a = c;
  c = std::move(a);
  EXPECT_STREQ(c.c_str(), "xy");
  c = c;
  EXPECT_STREQ(c.c_str(), "xy");
}

TEST(StringWriters, FixedWriterCutsAndTerminates)
{
  char buf[6];
  std::memset(buf, 'z', sizeof buf);
  LFixedLengthStringWriterTemplate w(buf, 4);
  for (char c : std::string("abcdef")) {
    w.AddChar(c);
  }
  EXPECT_EQ(w.GetLength(), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], 'z');

  // A zero-sized target is never written to.
  char none = 'q';
  LFixedLengthStringWriterTemplate empty(&none, 0);
  empty.AddChar('a');
  EXPECT_EQ(none, 'q');
  EXPECT_EQ(empty.GetLength(), 0u);
}

TEST(StringWriters, LongWritersReplaceOrAppendAndGrow)
{
  LStringLongTemplate s;
  std::string expected;
  {
    LStringLongTemplateWriter w(s);
    EXPECT_GE(s.GetCapacity(), 260u);
    for (int i = 0; i < 5000; ++i) {
      char c = static_cast<char>('a' + i % 26);
      w.AddChar(c);
      expected += c;
    }
    EXPECT_EQ(w.GetLength(), 5000u);
  }
  EXPECT_EQ(std::string(s.c_str()), expected);
  EXPECT_GT(s.GetCapacity(), 5000u);
  // Growth by a factor of 4 from 260: 1040, 4160, 16640.
  EXPECT_EQ(s.GetCapacity(), 16640u);

  LStringLongTemplateAppender(s).AddChar('!');
  EXPECT_EQ(s.GetLength(), 5001u);
  EXPECT_EQ(s.c_str()[5000], '!');

  LUTF8EncodeWriter u(s);
  EXPECT_EQ(u.GetLength(), 0u);
  for (char c : std::string("\xc3\xbc!")) {
    u.AddChar(c);
  }
  EXPECT_STREQ(s.c_str(), "\xc3\xbc!");
}

TEST(StringWriters, GrowthAtTheExactCapacityBoundary)
{
  // Fill to exactly capacity - 1 so the terminator sits in the last byte,
  // then one more byte must grow the array before it is stored.
  LStringLongTemplate s;
  LStringLongTemplateWriter w(s);
  for (int i = 0; i < 259; ++i) {
    w.AddChar('a');
  }
  EXPECT_EQ(s.GetCapacity(), 260u);
  EXPECT_EQ(std::strlen(s.c_str()), 259u);
  w.AddChar('b');
  EXPECT_EQ(s.GetCapacity(), 1040u);
  EXPECT_EQ(std::strlen(s.c_str()), 260u);
  EXPECT_EQ(s.c_str()[259], 'b');
}
