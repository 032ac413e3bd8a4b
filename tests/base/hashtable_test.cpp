// The name/value table of query strings and forms.
#include "base/hashtable.h"

#include <cstring>
#include <pthread.h>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Saved(LHashTable& table) {
  LStringLongTemplate saved;
  table.SaveHTTPString(saved);
  return saved.c_str();
}

} // namespace

TEST(HashTable, FormFieldsLoadAndSave) {
  struct Case {
    const char* text;
    const char* saved;
  };
  const Case cases[] = {
      {"x", "x="},                          // name without '=' keeps an empty value
      {"=5", ""},                           // empty name: nothing stored
      {"&&a=1&&", "a=1"},                   // empty pairs between '&' skipped
      {"a=", "a="},
      {"a=b=c", "a=b%3Dc"},                 // only the first '=' separates
      {"%00=5&b=1", "b=1"},                 // name decoding to nothing is empty
      {"a+b=c+d", "a%20b=c%20d"},           // '+' is a space
      {"n=%41%4a%4A", "n=AJJ"},             // hex digits in either case
      {"n=%ZZ", "n="},                      // invalid digits count as 0, zero dropped
      {"n=%4", "n="},                       // cut escape ends the text
      {"n=ab%", "n=ab"},
      {"n=%4&b=1", "n=%40b%3D1"},           // '%' takes the next two bytes whatever they are
      {"n=a%26b&m=%3D", "n=a%26b&m=%3D"},   // escaped separators stay in the value
      {"a=1&a=2&b=3", "a=1&a=2&b=3"},
  };
  for (const Case& c : cases) {
    LHashTable table;
    table.LoadHTTPString(c.text);
    EXPECT_EQ(Saved(table), c.saved) << "text: " << c.text;
  }
}

TEST(HashTable, FirstOfEqualNamesWinsSetReplacesItAndDeleteRemovesIt) {
  LHashTable table;
  table.LoadHTTPString("a=1&a=2&b=3");
  EXPECT_STREQ(table.GetParm("a", "d"), "1");
  EXPECT_STREQ(table.GetParm("b", "d"), "3");
  const char* def = "default";
  EXPECT_EQ(table.GetParm("A", def), def) << "case-sensitive, and the default is the pointer itself";
  EXPECT_EQ(table.GetParm("c", nullptr), nullptr);
  EXPECT_EQ(table.GetCount(), 3u);

  table.Clear();
  table.SetParm("a", "1");
  table.SetParm("b", "two words");
  EXPECT_EQ(Saved(table), "b=two%20words&a=1") << "set inserts at the head";
  // Loading appends at the tail in text order without clearing.
  table.LoadHTTPString("a=3&c=4");
  table.SetParm("a", "x");
  EXPECT_EQ(Saved(table), "b=two%20words&a=x&a=3&c=4");
  table.DeleteParm("a");
  EXPECT_STREQ(table.GetParm("a", ""), "3");
  table.DeleteParm("missing");
  EXPECT_EQ(table.GetCount(), 3u);
  table.Clear();
  EXPECT_EQ(table.GetCount(), 0u);
  EXPECT_STREQ(table.GetParm("b", "gone"), "gone");
  EXPECT_EQ(Saved(table), "");
}

TEST(HashTable, SavedTextLoadsBackToTheSameValues) {
  const char* awkward[] = {"a&b", "x=y", "100%", "two words", "caf\xc3\xa9", "+plus+", "?#/:", "tab\there", "\"<>\\"};
  LHashTable table, loaded;
  for (const char* value : awkward)
    table.SetParm((std::string("k") + value).c_str(), value);
  loaded.LoadHTTPString(Saved(table).c_str());
  EXPECT_EQ(loaded.GetCount(), table.GetCount());
  for (const char* value : awkward)
    EXPECT_STREQ(loaded.GetParm((std::string("k") + value).c_str(), "<missing>"), value);
}

TEST(HashTable, TypedGetters) {
  LHashTable table;
  table.LoadHTTPString("n=42&e=&t=12abc&w=abc&neg=-5&big=99999999999999&b0=0x&b1=1y&bx=yes");
  // An empty or missing value gives the default; one present but not
  // numeric gives 0; out of range is clamped, not wrapped.
  const std::pair<const char*, int> ints[] = {{"n", 42}, {"e", 7}, {"missing", 7}, {"t", 12},
                                              {"w", 0}, {"neg", -5}, {"big", 2147483647}};
  for (auto [name, value] : ints)
    EXPECT_EQ(table.GetInt(name, 7), value) << name;
  EXPECT_FALSE(table.GetBool("b0", true));
  EXPECT_TRUE(table.GetBool("b1", false));
  EXPECT_TRUE(table.GetBool("bx", true));
  EXPECT_FALSE(table.GetBool("bx", false));
  EXPECT_FALSE(table.GetBool("e", false));

  table.SetParm("long", std::string(400, 'v').c_str());
  EXPECT_EQ(std::strlen(table.GetParm("long", "")), 400u) << "the table itself does not cut";
  char buffer[260];
  table.GetString("long", "", buffer);
  EXPECT_EQ(std::strlen(buffer), 259u);
  EXPECT_STREQ(table.GetString("missing", "fallback", buffer), "fallback");
}

TEST(HashTable, HalfAMillionPairsAreFreedOnASmallThreadStack) {
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
