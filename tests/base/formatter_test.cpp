// The program's printf-like formatter and its URI and HTML coders.
#include "base/formatter.h"
#include "base/stringtools.h"
#include "base/textcoding.h"

#include <climits>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

std::string Format(const char* format, ...) {
  LStringLongTemplate out;
  LStringLongTemplateWriter writer(out);
  va_list args;
  va_start(args, format);
  const std::size_t length = tplprintf(writer, format, args);
  va_end(args);
  EXPECT_EQ(length, out.GetLength());
  return out.c_str();
}

std::string UriDecode(const char* text, const char* stop, std::size_t* consumed = nullptr) {
  LStringLongTemplate out;
  LStringLongTemplateWriter writer(out);
  const std::size_t n = LURIDecodeToWriterDirect(writer, text, stop);
  if (consumed != nullptr)
    *consumed = n;
  return std::string(out.c_str(), out.GetLength());
}

} // namespace

TEST(Formatter, DirectivesOddFormatsAndNulls) {
  EXPECT_EQ(Format("%d%%", 50), "50%");
  EXPECT_EQ(Format("%.2d:%.2d", 5, 7), "05:07");
  EXPECT_EQ(Format("%q"), "q");
  EXPECT_EQ(Format("%.3d|%.3d|%d", 7, -5, 12345), "007|-005|12345");
  EXPECT_EQ(Format("%.0d %.1d %.2d", 0, 0, 123), "0 0 123");
  EXPECT_EQ(Format("%d %d", INT_MIN, INT_MAX), "-2147483648 2147483647");
  EXPECT_EQ(Format("<%s|%H|%U>", "a b", "<i>", "a b"), "<a b|&lt;i&gt;|a%20b>");
  // A digit without a dot is an ordinary character: the argument stays for
  // the next directive.  '.' without a digit is dropped.
  EXPECT_EQ(Format("%5d %d", 9), "5d 9");
  EXPECT_EQ(Format("%.d", 3), "3");
  EXPECT_EQ(Format("%.x"), "x");
  // A trailing '%', '%.' or '%.4' ends the output without reading past the end.
  for (const char* cut : {"ab%", "ab%.", "ab%.4"})
    EXPECT_EQ(Format(cut), "ab") << cut;
  EXPECT_EQ(Format(nullptr), "");
  const char* none = nullptr;
  EXPECT_EQ(Format("[%s%H%U]", none, none, none), "[]");
}

TEST(Formatter, FixedBufferCutsAtItsSize) {
  char small[6];
  EXPECT_EQ(tsprintf(small, "%d-%s", 12345, "tail"), 5u);
  EXPECT_STREQ(small, "12345");
  char path[kPathSize];
  EXPECT_EQ(tsprintf(path, sizeof path, "/tmp/%s", std::string(400, 'x').c_str()), 259u);
  EXPECT_EQ(std::strlen(path), 259u);

  LStringLongTemplate s;
  sprintf(s, "first %d", 1);
  EXPECT_EQ(sprintf(s, "%s=%U", "k", "v&w"), 7u);
  EXPECT_STREQ(s.c_str(), "k=v%26w");
  sprintf(s, "a");
  LStringLongTemplateAppender app(s);
  EXPECT_EQ(tplwprintf(app, "%.2d", 3), 3u);
  tplstrcpy(app, "z");
  tplstrcpy(app, nullptr);
  EXPECT_STREQ(s.c_str(), "a03z");
}

TEST(UriCoding, EncodesReservedUnsafeAndHighBytesAndCutsInsideAnEscape) {
  const std::pair<const char*, const char*> cases[] = {
      {"a b/\xc3\xbc", "a%20b%2F%C3%BC"},
      {"~.-_AZaz09", "~.-_AZaz09"},
      {"%:/?#[]@!$&'()*+,;=", "%25%3A%2F%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D"},
      // Characters that would break out of a quoted attribute, controls, DEL.
      {"\"<>\\^`{|}\t\x7f", "%22%3C%3E%5C%5E%60%7B%7C%7D%09%7F"},
  };
  char out[kPathSize + 4];
  for (auto [text, expected] : cases) {
    LURIEncode(out, text);
    EXPECT_STREQ(out, expected);
  }
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(LURIEncode(out, std::string(200, ' ').c_str()), 259u);
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_EQ(out[kPathSize], 'z');
  EXPECT_EQ(out[258], '%') << "259 = 86 * 3 + 1: the last escape is cut after its '%'";
}

TEST(UriCoding, DecodeBadCutAndStoppedEscapes) {
  const std::pair<const char*, std::string> cases[] = {
      {"a+b%41%zz%00c", "a bAc"}, {"ab%", "ab"}, {"ab%4", "ab"}, {"%c3%BC", "\xc3\xbc"},
      {"%4z", "@"}, // a non-hex digit counts as 0
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(UriDecode(text, ""), expected) << text;
  char out[kPathSize];
  EXPECT_EQ(LURIDecodeDirect(out, "x%20y"), 3u);
  EXPECT_STREQ(out, "x y");
  EXPECT_EQ(LURIDecodeDirect(out, std::string(600, 'q').c_str()), 259u);

  // Form fields: each stops at its stop set and reports what it consumed.
  const char* form = "x=1&y";
  std::size_t n = 0;
  for (auto [stop, field] : {std::pair{"=&", "x"}, {"&", "1"}, {"=&", "y"}, {"&", ""}}) {
    EXPECT_EQ(UriDecode(form, stop, &n), field);
    EXPECT_EQ(n, std::strlen(field));
    form += n + (*form != 0 && form[n] != 0);
  }
  // The two bytes after '%' are taken even when they are stop bytes.
  EXPECT_EQ(UriDecode("a%&1&b", "&", &n), "a\x01");
  EXPECT_EQ(n, 4u);
}

TEST(HtmlCoding, BlanksMarkupLineBreaksAndParagraphs) {
  const std::pair<const char*, const char*> cases[] = {
      {"a  <b>", "a &lt;b&gt;"}, {"a & b", "a &amp; b"}, {"\"q\" \t x", "&quot;q&quot; x"}, {"", ""},
      {nullptr, ""}, {"a\r\n\r\nb", "a<p>b"}, {"a\nb", "a<br>b"}, {"a\r\nb", "a<br>b"}, {"a\n\nb", "a<p>b"},
      // Each further empty line is written at once; a pending break at the
      // end is written too; blanks leave it for the next printed byte.
      {"a\n\n\nb", "a<br><p>b"}, {"a\n", "a<br>"}, {"a\n\n", "a<p>"}, {"a\n b", "a <br>b"},
  };
  for (auto [text, expected] : cases) {
    LStringLongTemplate out;
    LStringLongTemplateWriter writer(out);
    LHTMLEncodeToWriter(writer, text);
    EXPECT_STREQ(out.c_str(), expected) << (text ? text : "null");
  }
}
