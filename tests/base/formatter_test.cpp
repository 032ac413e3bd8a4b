#include "base/formatter.h"
#include "base/stringtools.h"
#include "base/textcoding.h"

#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Format(const char* format, ...)
{
  LStringLongTemplate out;
  LStringLongTemplateWriter writer(out);
  va_list args;
  va_start(args, format);
  std::size_t length = tplprintf(writer, format, args);
  va_end(args);
  EXPECT_EQ(length, out.GetLength());
  return out.c_str();
}

std::string Html(const char* text)
{
  LStringLongTemplate out;
  LStringLongTemplateWriter writer(out);
  LHTMLEncodeToWriter(writer, text);
  return out.c_str();
}

std::string UriDecode(const char* text, const char* stop, std::size_t* consumed = nullptr)
{
  LStringLongTemplate out;
  LStringLongTemplateWriter writer(out);
  std::size_t n = LURIDecodeToWriterDirect(writer, text, stop);
  if (consumed != nullptr) {
    *consumed = n;
  }
  return std::string(out.c_str(), out.GetLength());
}

} // namespace

TEST(Formatter, Directives)
{
  EXPECT_EQ(Format("%d%%", 50), "50%");
  EXPECT_EQ(Format("%.2d:%.2d", 5, 7), "05:07");
  EXPECT_EQ(Format("%q"), "q");
  EXPECT_EQ(Format("%.3d|%.3d|%d", 7, -5, 12345), "007|-005|12345");
  EXPECT_EQ(Format("%.0d %.1d %.2d", 0, 0, 123), "0 0 123");
  EXPECT_EQ(Format("%d %d", INT_MIN, INT_MAX), "-2147483648 2147483647");
  EXPECT_EQ(Format("<%s|%H|%U>", "a b", "<i>", "a b"), "<a b|&lt;i&gt;|a%20b>");
}

TEST(Formatter, OddFormatsTakeNoArguments)
{
  // A digit without a dot is an ordinary character, so the argument stays
  // for the next directive.
  EXPECT_EQ(Format("%5d", 9), "5d");
  EXPECT_EQ(Format("%5d %d", 9), "5d 9");
  // '.' without a digit is dropped and the next character is the letter.
  EXPECT_EQ(Format("%.d", 3), "3");
  EXPECT_EQ(Format("%.x"), "x");
  // A trailing '%' or '%.' ends the output without reading past the end.
  EXPECT_EQ(Format("ab%"), "ab");
  EXPECT_EQ(Format("ab%."), "ab");
  EXPECT_EQ(Format("ab%.4"), "ab");
}

TEST(Formatter, NullFormatAndNullTexts)
{
  EXPECT_EQ(Format(nullptr), "");
  EXPECT_EQ(Format("[%s%H%U]", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr),
                   static_cast<const char*>(nullptr)),
            "[]");
}

TEST(Formatter, FixedBufferCutsAtItsSize)
{
  char small[6];
  EXPECT_EQ(tsprintf(small, "%d-%s", 12345, "tail"), 5u);
  EXPECT_STREQ(small, "12345");

  char path[kPathSize];
  std::string longText(400, 'x');
  EXPECT_EQ(tsprintf(path, sizeof path, "/tmp/%s", longText.c_str()), 259u);
  EXPECT_EQ(std::strlen(path), 259u);

  LStringLongTemplate s;
  sprintf(s, "first %d", 1);
  EXPECT_EQ(sprintf(s, "%s=%U", "k", "v&w"), 7u);
  EXPECT_STREQ(s.c_str(), "k=v%26w");

  LStringLongTemplate appended;
  sprintf(appended, "a");
  LStringLongTemplateAppender app(appended);
  EXPECT_EQ(tplwprintf(app, "%.2d", 3), 3u);
  tplstrcpy(app, "z");
  tplstrcpy(app, nullptr);
  EXPECT_STREQ(appended.c_str(), "a03z");
}

TEST(UriCoding, EncodesReservedUnsafeAndHighBytes)
{
  char out[kPathSize];
  LURIEncode(out, "a b/\xc3\xbc");
  EXPECT_STREQ(out, "a%20b%2F%C3%BC");
  LURIEncode(out, "~.-_AZaz09");
  EXPECT_STREQ(out, "~.-_AZaz09");
  LURIEncode(out, "%:/?#[]@!$&'()*+,;=");
  EXPECT_STREQ(out, "%25%3A%2F%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D");
  // Characters that would break out of a quoted attribute, controls and DEL.
  LURIEncode(out, "\"<>\\^`{|}\t\x7f");
  EXPECT_STREQ(out, "%22%3C%3E%5C%5E%60%7B%7C%7D%09%7F");
}

TEST(UriCoding, EncodeIntoFixedBufferCutsInsideAnEscape)
{
  char out[kPathSize + 4];
  std::memset(out, 'z', sizeof out);
  std::string longSpaces(200, ' ');
  EXPECT_EQ(LURIEncode(out, longSpaces.c_str()), 259u);
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_EQ(out[kPathSize], 'z');
  // 259 = 86 * 3 + 1: the last escape is cut after its '%'.
  EXPECT_EQ(out[258], '%');
}

TEST(UriCoding, DecodeBadAndCutEscapes)
{
  EXPECT_EQ(UriDecode("a+b%41%zz%00c", ""), std::string("a bAc"));
  EXPECT_EQ(UriDecode("ab%", ""), "ab");
  EXPECT_EQ(UriDecode("ab%4", ""), "ab");
  EXPECT_EQ(UriDecode("%c3%BC", ""), "\xc3\xbc");
  // A non-hex digit counts as 0: %4z is 0x40.
  EXPECT_EQ(UriDecode("%4z", ""), "@");
  char out[kPathSize];
  EXPECT_EQ(LURIDecodeDirect(out, "x%20y"), 3u);
  EXPECT_STREQ(out, "x y");
  std::string longText(600, 'q');
  EXPECT_EQ(LURIDecodeDirect(out, longText.c_str()), 259u);
}

TEST(UriCoding, DecodeFormFieldsWithStopSets)
{
  const char* form = "x=1&y";
  std::size_t n = 0;
  EXPECT_EQ(UriDecode(form, "=&", &n), "x");
  EXPECT_EQ(n, 1u);
  form += n + 1;
  EXPECT_EQ(UriDecode(form, "&", &n), "1");
  EXPECT_EQ(n, 1u);
  form += n + 1;
  EXPECT_EQ(UriDecode(form, "=&", &n), "y");
  form += n;
  EXPECT_EQ(*form, 0);
  EXPECT_EQ(UriDecode(form, "&", &n), "");
  EXPECT_EQ(n, 0u);

  // The two bytes after '%' are taken even when they are stop bytes.
  EXPECT_EQ(UriDecode("a%&1&b", "&", &n), "a\x01");
  EXPECT_EQ(n, 4u);
}

TEST(HtmlCoding, BlanksAndMarkup)
{
  EXPECT_EQ(Html("a  <b>"), "a &lt;b&gt;");
  EXPECT_EQ(Html("a & b"), "a &amp; b");
  EXPECT_EQ(Html("\"q\" \t x"), "&quot;q&quot; x");
  EXPECT_EQ(Html(""), "");
  EXPECT_EQ(Html(nullptr), "");
}

TEST(HtmlCoding, LineBreaksAndParagraphs)
{
  EXPECT_EQ(Html("a\r\n\r\nb"), "a<p>b");
  EXPECT_EQ(Html("a\nb"), "a<br>b");
  EXPECT_EQ(Html("a\r\nb"), "a<br>b");
  EXPECT_EQ(Html("a\n\nb"), "a<p>b");
  // Each further empty line is written at once.
  EXPECT_EQ(Html("a\n\n\nb"), "a<br><p>b");
  // A pending break is written at the end of the text too.
  EXPECT_EQ(Html("a\n"), "a<br>");
  EXPECT_EQ(Html("a\n\n"), "a<p>");
  // Blanks leave the pending break for the next printed byte.
  EXPECT_EQ(Html("a\n b"), "a <br>b");
}
