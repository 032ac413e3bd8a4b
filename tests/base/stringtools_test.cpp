// Text helpers on fixed buffers, the growing string and its writers.
#include "base/stringlong.h"
#include "base/stringtools.h"
#include "base/stringwriters.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// What tstrlcpy returns and leaves in a buffer that held "q...".
std::string Lcpy(const char* text, size_t size) {
  char buf[16];
  std::memset(buf, 'q', sizeof buf);
  buf[15] = 0;
  const size_t n = tstrlcpy(buf, text, size);
  return std::to_string(n) + ":" + buf;
}

TEST(StringTools, CopiesCutAtTheirSizeAndToIntClamps) {
  // Size 1 leaves only the terminator, size 0 touches nothing.
  EXPECT_EQ(Lcpy("abcdefghij", 8) + " " + Lcpy("ab", 8) + " " + Lcpy(nullptr, 8) + " " + Lcpy("abc", 1) + " " +
                Lcpy("abc", 0).substr(0, 4),
            "7:abcdefg 2:ab 0: 0: 0:qq");
  char buf[kPathSize + 8];
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(tlstrcpy(buf, std::string(1000, 'a').c_str()), 259u);
  EXPECT_EQ(std::strlen(buf), 259u);
  EXPECT_EQ(buf[kPathSize], 'z');
  EXPECT_EQ(LCopyFromUTF8(buf, "\xc3\xbc", 2), 1u);

  const std::pair<const char*, int> cases[] = {
      {"42", 42}, {"  \t-17x", -17}, {"+8", 8}, {"abc", 0}, {"", 0}, {"-", 0}, {nullptr, 0}, {"12 34", 12},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      // Out of range: clamped, never wrapped to the other sign.
      {"2147483648", INT_MAX}, {"99999999999999999999999", INT_MAX}, {"-99999999999999999999999", INT_MIN},
  };
  for (auto [text, value] : cases)
    EXPECT_EQ(ttoi(text), value) << (text ? text : "null");
}

TEST(StringTools, CaseSearchReplaceAndByteOrder) {
  char text[] = "AbC-\xc3\x9c\xfe z9";
  EXPECT_EQ(strlwr(text), text);
  std::string cases = text;
  cases += strupr(text);
  cases += tstrlwr(text);
  EXPECT_EQ(cases, "abc-\xc3\x9c\xfe z9ABC-\xc3\x9c\xfe Z9abc-\xc3\x9c\xfe z9");
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
  ReplaceChar(nullptr, 'a', 'b');
  EXPECT_STREQ(path, "a/b/c");
  uint16_t s = 0x1234;
  uint32_t l = 0x12345678u;
  LEndianReverse(s);
  LEndianReverse(l);
  EXPECT_EQ(s, 0x3412);
  EXPECT_EQ(l, 0x78563412u);
}

TEST(StringLong, EmptyGrowCopyAndMove) {
  LStringLongTemplate s, sized(16);
  EXPECT_EQ(std::string(s.c_str()) + sized.c_str(), "");
  EXPECT_EQ(s.GetLength() + s.GetCapacity(), 0u);
  EXPECT_EQ(sized.GetCapacity(), 16u);
  for (char c : std::string("hello"))
    LStringLongTemplateAppender(s).AddChar(c);
  EXPECT_TRUE(s.GrowToSize(1000));
  EXPECT_EQ(s.GetCapacity(), 1000u);
  EXPECT_STREQ(s.c_str(), "hello");
  EXPECT_TRUE(s.GrowToSize(10));
  EXPECT_EQ(s.GetCapacity(), 1000u) << "never shrinks";

  LStringLongTemplate a;
  LStringLongTemplateWriter(a).AddChar('x');
  LStringLongTemplate b(a);
  LStringLongTemplateAppender(b).AddChar('y');
  LStringLongTemplate c(std::move(b));
  EXPECT_EQ(std::string(a.c_str()) + "|" + b.c_str() + "|" + c.c_str(), "x||xy");
  a = c;
  c = std::move(a);
  c = c;
  EXPECT_STREQ(c.c_str(), "xy");
}

TEST(StringWriters, FixedWriterCutsAndTerminates) {
  char buf[6];
  std::memset(buf, 'z', sizeof buf);
  LFixedLengthStringWriterTemplate w(buf, 4);
  for (char c : std::string("abcdef"))
    w.AddChar(c);
  EXPECT_EQ(w.GetLength(), 3u);
  EXPECT_EQ(std::string(buf, 5), std::string("abc\0z", 5));
  // A zero-sized target is never written to.
  char none = 'q';
  LFixedLengthStringWriterTemplate empty(&none, 0);
  empty.AddChar('a');
  EXPECT_EQ(none, 'q');
  EXPECT_EQ(empty.GetLength(), 0u);
}

TEST(StringWriters, LongWritersReplaceOrAppendAndGrowAtTheExactBoundary) {
  LStringLongTemplate s;
  std::string expected;
  {
    LStringLongTemplateWriter w(s);
    EXPECT_EQ(s.GetCapacity(), 260u);
    // 259 bytes put the terminator in the last byte; one more must grow the
    // array before it is stored.
    for (int i = 0; i < 5000; ++i) {
      w.AddChar(static_cast<char>('a' + i % 26));
      expected += static_cast<char>('a' + i % 26);
      EXPECT_TRUE((i != 258 || s.GetCapacity() == 260u) && (i != 259 || s.GetCapacity() == 1040u)) << i;
    }
    EXPECT_EQ(w.GetLength(), 5000u);
  }
  LStringLongTemplateAppender(s).AddChar('!');
  EXPECT_EQ(std::string(s.c_str()), expected + "!");
  EXPECT_EQ(s.GetLength(), 5001u);
  LUTF8EncodeWriter u(s);
  EXPECT_EQ(u.GetLength(), 0u);
  for (char c : std::string("\xc3\xbc!"))
    u.AddChar(c);
  EXPECT_STREQ(s.c_str(), "\xc3\xbc!");
}

} // namespace
