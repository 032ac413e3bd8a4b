#include "base/hashtable.h"

#include <cstring>
#include <pthread.h>
#include <string>

#include <gtest/gtest.h>

TEST(HashTable, FirstOfEqualQueryNamesWinsAndDefaultIsThePointerItself)
{
  LHashTable table;
  table.LoadHTTPString("a=1&a=2&b=3");
  EXPECT_STREQ(table.GetParm("a", "d"), "1");
  EXPECT_STREQ(table.GetParm("b", "d"), "3");
  const char* def = "default";
  EXPECT_EQ(table.GetParm("A", def), def);  // case-sensitive
  EXPECT_EQ(table.GetParm("c", nullptr), nullptr);
  EXPECT_EQ(table.GetCount(), 3u);
}

TEST(HashTable, FormFieldEdgeCases)
{
  struct Case {
    const char* text;
    const char* saved;  // the table as saved afterwards
  };
  const Case cases[] = {
      {"x", "x="},                       // name without '=' keeps an empty value
      {"=5", ""},                        // empty name: nothing stored
      {"&&a=1&&", "a=1"},                // empty pairs between '&' skipped
      {"a=", "a="},
      {"a=b=c", "a=b%3Dc"},              // only the first '=' separates
      {"%00=5&b=1", "b=1"},              // name decoding to nothing is empty
      {"a+b=c+d", "a%20b=c%20d"},        // '+' is a space
      {"n=%41%4a%4A", "n=AJJ"},          // hex digits in either case
      {"n=%ZZ", "n="},                   // invalid digits count as 0, zero dropped
      {"n=%4", "n="},                    // cut escape ends the text
      {"n=ab%", "n=ab"},
      {"n=%4&b=1", "n=%40b%3D1"},        // '%' takes the next two bytes whatever they are
      {"n=a%26b&m=%3D", "n=a%26b&m=%3D"},  // escaped separators stay in the value
  };
  for (const Case& c : cases) {
    LHashTable table;
    table.LoadHTTPString(c.text);
    LStringLongTemplate saved;
    table.SaveHTTPString(saved);
    EXPECT_STREQ(saved.c_str(), c.saved) << "text: " << c.text;
  }
}

TEST(HashTable, LoadAppendsAtTheTailInTextOrderWithoutClearing)
{
  LHashTable table;
  table.SetParm("first", "1");
  table.LoadHTTPString("b=2&c=3");
  table.LoadHTTPString("d=4&first=9");
  LStringLongTemplate saved;
  table.SaveHTTPString(saved);
  EXPECT_STREQ(saved.c_str(), "first=1&b=2&c=3&d=4&first=9");
  EXPECT_STREQ(table.GetParm("first", ""), "1");
}

TEST(HashTable, SetReplacesFirstOrInsertsAtHeadAndDeleteRemovesOnlyTheFirst)
{
  LHashTable table;
  table.SetParm("a", "1");
  table.SetParm("b", "two words");
  LStringLongTemplate saved;
  table.SaveHTTPString(saved);
  EXPECT_STREQ(saved.c_str(), "b=two%20words&a=1");

  table.LoadHTTPString("a=3");
  table.SetParm("a", "x");  // replaces the first a, not the appended one
  table.SaveHTTPString(saved);
  EXPECT_STREQ(saved.c_str(), "b=two%20words&a=x&a=3");

  table.DeleteParm("a");
  EXPECT_STREQ(table.GetParm("a", ""), "3");
  table.DeleteParm("missing");
  EXPECT_EQ(table.GetCount(), 2u);
  table.Clear();
  EXPECT_EQ(table.GetCount(), 0u);
  EXPECT_STREQ(table.GetParm("b", "gone"), "gone");
  table.SaveHTTPString(saved);
  EXPECT_STREQ(saved.c_str(), "");
}

TEST(HashTable, SavedTextLoadsBackToTheSameValues)
{
  const char* awkward[] = {"a&b", "x=y", "100%", "two words", "caf\xc3\xa9", "+plus+", "?#/:", "tab\there",
                           "\"<>\\"};
  LHashTable table;
  for (int i = 0; i < static_cast<int>(std::size(awkward)); ++i) {
    std::string name = std::string("k") + awkward[i];
    table.SetParm(name.c_str(), awkward[i]);
  }
  LStringLongTemplate saved;
  table.SaveHTTPString(saved);
  LHashTable loaded;
  loaded.LoadHTTPString(saved.c_str());
  EXPECT_EQ(loaded.GetCount(), table.GetCount());
  for (const char* value : awkward) {
    std::string name = std::string("k") + value;
    EXPECT_STREQ(loaded.GetParm(name.c_str(), "<missing>"), value);
  }
}

TEST(HashTable, TypedGetters)
{
  LHashTable table;
  table.LoadHTTPString("n=42&e=&t=12abc&w=abc&neg=-5&big=99999999999999&b0=0x&b1=1y&bx=yes");
  EXPECT_EQ(table.GetInt("n", 7), 42);
  EXPECT_EQ(table.GetInt("e", 7), 7);  // empty value gives the default
  EXPECT_EQ(table.GetInt("missing", 7), 7);
  EXPECT_EQ(table.GetInt("t", 7), 12);
  EXPECT_EQ(table.GetInt("w", 7), 0);  // present but not numeric
  EXPECT_EQ(table.GetInt("neg", 7), -5);
  EXPECT_EQ(table.GetInt("big", 7), 2147483647);  // clamped, not wrapped
  EXPECT_FALSE(table.GetBool("b0", true));
  EXPECT_TRUE(table.GetBool("b1", false));
  EXPECT_TRUE(table.GetBool("bx", true));
  EXPECT_FALSE(table.GetBool("bx", false));
  EXPECT_FALSE(table.GetBool("e", false));

  std::string longValue(400, 'v');
  table.SetParm("long", longValue.c_str());
  EXPECT_EQ(std::strlen(table.GetParm("long", "")), 400u);  // the table itself does not cut
  char buffer[260];
  memset(buffer, 'z', sizeof buffer);
  table.GetString("long", "", buffer);
  EXPECT_EQ(std::strlen(buffer), 259u);
  EXPECT_STREQ(table.GetString("missing", "fallback", buffer), "fallback");
}

namespace {

// Loads and destroys a body of half a million pairs.
void* LoadHugeBody(void* ok)
{
  std::string body;
  for (int i = 0; i < 500000; ++i) {
    body += "a&";
  }
  {
    LHashTable table;
    table.LoadHTTPString(body.c_str());
    *static_cast<bool*>(ok) = table.GetCount() == 500000;
  }
  return nullptr;
}

} // namespace

TEST(HashTable, HalfAMillionPairsAreFreedOnASmallThreadStack)
{
  // A recursive tear-down of the list would overflow a 128 KiB stack.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  bool ok = false;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, LoadHugeBody, &ok), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_TRUE(ok);
}
