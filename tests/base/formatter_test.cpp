// Text helpers on fixed buffers, the growing string, the printf-like
// formatter, the URI and HTML coders and the name/value table of forms.
#include "base/formatter.h"
#include "base/hashtable.h"
#include "base/stringlong.h"
#include "base/stringtools.h"
#include "base/stringwriters.h"
#include "base/textcoding.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <tuple>
#include <utility>

namespace {

std::string Format(const char* format, ...)
{
  LStringLongTemplate out;
  LStringLongTemplateWriter writer(out);
  va_list args;
  va_start(args, format);
  const std::size_t length = tplprintf(writer, format, args);
  va_end(args);
  EXPECT_EQ(length, out.GetLength());
  return out.c_str();
}

// What tstrlcpy returns and leaves in a buffer that held "q...".
std::string Lcpy(const char* text, size_t size)
{
  char buf[16] = "qqqqqqqqqqqqqqq";
  const size_t n = tstrlcpy(buf, text, size);
  return std::to_string(n) + ":" + buf;
}

// The directives, the URI and HTML coders behind %U and %H, and fixed buffers.
TEST(Formatter, DirectivesCodersBufferSizesAndToInt)
{
  EXPECT_EQ(Format("%d%% %.2d:%.2d %q %.3d|%.3d|%d", 50, 5, 7, 7, -5, 12345), "50% 05:07 q 007|-005|12345");
  EXPECT_EQ(Format("%.0d %.1d %d %d", 0, 0, INT_MIN, INT_MAX), "0 0 -2147483648 2147483647");
  const char* none = nullptr;
  EXPECT_EQ(Format(nullptr) + Format("[%s%H%U]", none, none, none), "[]");
  char small[6], path[kPathSize];
  EXPECT_EQ(std::to_string(tsprintf(small, "%d-%s", 12345, "tail")) + small, "512345");
  EXPECT_TRUE(tsprintf(path, sizeof path, "/tmp/%s", std::string(400, 'x').c_str()) == 259u && strlen(path) == 259u);
  EXPECT_EQ(LURIDecodeDirect(path, std::string(600, 'q').c_str()), 259u);
  EXPECT_EQ(std::to_string(LURIDecodeDirect(path, "x%20y%4z")) + path, "4x y@");  // a non-hex digit counts as 0
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"%s|%U", "a b/\xc3\xbc", "a b/\xc3\xbc|a%20b%2F%C3%BC"},
      {"%U", "~.-_AZaz09", "~.-_AZaz09"},
      {"%U", "%:/?#[]@!$&'()*+,;=", "%25%3A%2F%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D"},
      {"%U", "\"<>\\^`{|}\t\x7f", "%22%3C%3E%5C%5E%60%7B%7C%7D%09%7F"},  // would break out of a quoted attribute
      {"%H", "a  <b>", "a &lt;b&gt;"},
      {"%H", "a & b", "a &amp; b"},
      {"%H", "\"q\" \t x", "&quot;q&quot; x"},
      {"%H", "a\r\n\r\nb", "a<p>b"},
      {"%H", "a\nb", "a<br>b"},
      {"%H", "a\n\nb", "a<p>b"},
      // Each further empty line is written at once, a pending break at the end too; blanks leave it for later.
      {"%H", "a\n\n\nb", "a<br><p>b"},
      {"%H", "a\n", "a<br>"},
      {"%H", "a\n b", "a <br>b"},
  };
  for (auto [format, text, expected] : cases)
    EXPECT_EQ(Format(format, text, text), expected) << text;
  // Size 1 leaves only the terminator, size 0 touches nothing.
  EXPECT_EQ(Lcpy("abcdefghij", 8) + " " + Lcpy(nullptr, 8) + " " + Lcpy("abc", 1) + " " + Lcpy("abc", 0).substr(0, 4),
            "7:abcdefg 0: 0: 0:qq");
  char buf[kPathSize + 8];
  std::memset(buf, 'z', sizeof buf);
  EXPECT_TRUE(tlstrcpy(buf, std::string(1000, 'a').c_str()) == 259u && strlen(buf) == 259u && buf[kPathSize] == 'z');
  const std::pair<const char*, int> ints[] = {
      {"42", 42},
      {"  \t-17x", -17},
      {"abc", 0},
      {nullptr, 0},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},  // clamped, never wrapped to the other sign
      {"-99999999999999999999999", INT_MIN},
  };
  for (auto [text, value] : ints)  // copies: ASan sees an overread at once
    EXPECT_EQ(ttoi(text ? std::string(text).c_str() : nullptr), value) << (text ? text : "null");
}

TEST(HashTable, FormFieldsLoadSaveAndGet)
{
  LHashTable table;
  table.LoadHTTPString("a=1&a=2&b=3");
  EXPECT_EQ(std::string(table.GetParm("a", "d")) + table.GetParm("b", "d") + table.GetParm("A", "d"), "13d");
  table.SetParm("long", std::string(400, 'v').c_str());
  char buffer[260];
  EXPECT_EQ(std::strlen(table.GetString("long", "", buffer)), 259u);
  table.DeleteParm("a");
  EXPECT_EQ(std::string(table.GetParm("a", "")) + std::to_string(table.GetCount()), "23") << "deletes the first only";
  const std::pair<const char*, std::string> cases[] = {
      {"a=b=c", "a=b%3Dc"},                // only the first '=' separates
      {"%00=5&b=1", "b=1"},                // name decoding to nothing is empty
      {"n=%4a%c3%BC%4", "n=J%C3%BC"},      // hex digits in either case; a cut escape ends the text
      {"n=%4&b=1", "n=%40b%3D1"},          // '%' takes the next two bytes whatever they are
      {"n=a%26b&m=%3D", "n=a%26b&m=%3D"},  // escaped separators stay in the value
  };
  for (const auto& [text, saved] : cases) {
    table.Clear();
    table.LoadHTTPString(text);
    LStringLongTemplate out;
    table.SaveHTTPString(out);
    EXPECT_STREQ(out.c_str(), saved.c_str()) << "text: " << text;
  }
}

TEST(HashTable, HalfAMillionPairsAreFreedOnASmallThreadStack)
{
  // A recursive tear-down of the list would overflow a 128 KiB stack.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  bool ok = false;
  pthread_t thread;
  auto body = [](void* result) -> void* {
    std::string body;
    for (int i = 0; i < 500000; ++i)
      body += "a&";
    LHashTable table;
    table.LoadHTTPString(body.c_str());
    *static_cast<bool*>(result) = table.GetCount() == 500000;
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, body, &ok), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_TRUE(ok);
}

}  // namespace
