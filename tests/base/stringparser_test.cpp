// The parser of request lines, headers and form fields.
#include "base/stringparser.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

TEST(StringParser, RequestLine) {
  LStringParserTemplate<char> p("GET  /index.html?a=1 HTTP/1.0\r\nHost: x\r\n");
  char out[kPathSize];
  p.GetToWhiteSpaceAndSkip(out);
  EXPECT_STREQ(out, "GET");
  p.GetToCharacterAndSkip("? ", out);
  EXPECT_STREQ(out, "/index.html");
  p.GetToWhiteSpaceAndSkip(out);
  EXPECT_STREQ(out, "a=1");
  p.GetToEndOfLine(out);
  EXPECT_STREQ(out, "HTTP/1.0");
  EXPECT_TRUE(p.IsCharacter('\r'));
  p.SkipWhiteSpace();
  p.GetToCharacterAndSkip(':', out);
  EXPECT_STREQ(out, "Host");
  p.SkipWhiteSpace();
  p.GetToEndOfLine(out);
  EXPECT_STREQ(out, "x");
  p.SkipWhiteSpace();
  EXPECT_TRUE(p.IsEnd());
  // Nothing moves past the end.
  p.SkipCharacter();
  p.GetToCharacterAndSkip('x', out);
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(p.IsEnd());
}

TEST(StringParser, LongTokensAreCutButConsumedWholeAndHighBytesAreNoBlanks) {
  std::string text(300, 't');
  text += " next";
  LStringParserTemplate<char> p(text.c_str());
  char out[kPathSize + 4];
  std::memset(out, 'z', sizeof out);
  p.GetToWhiteSpace(out);
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_EQ(out[kPathSize], 'z');
  EXPECT_EQ(p.GetConsumed(), 300u);
  p.SkipWhiteSpace();
  p.GetToWhiteSpace(out);
  EXPECT_STREQ(out, "next");

  std::string line(1000, 'l');
  line += "\nrest";
  EXPECT_EQ(LParseGetToEndOfLine(line.c_str(), out), 1000u);
  EXPECT_EQ(std::strlen(out), 259u);
  // UTF-8 bytes are negative as char; they must stay inside a token.
  EXPECT_EQ(LParseGetToWhiteSpace("f\xc3\xbcr x", out), 4u);
  EXPECT_STREQ(out, "f\xc3\xbcr");
  EXPECT_EQ(LParseSkipWhiteSpace(" \t\x01\r\nx"), 5u);
  EXPECT_EQ(LParseSkipWhiteSpace(""), 0u);
}

TEST(StringParser, SkipToStringAndCharacters) {
  LStringParserTemplate<char> p("boundary--abc--rest");
  EXPECT_TRUE(p.SkipToString("--"));
  EXPECT_EQ(p.GetConsumed(), 8u);
  EXPECT_TRUE(p.SkipToStringAndSkip("--"));
  char out[kPathSize];
  p.GetToCharacter('-', out);
  EXPECT_STREQ(out, "abc");
  EXPECT_FALSE(p.SkipToStringAndSkip("missing"));
  EXPECT_TRUE(p.IsEnd());

  EXPECT_EQ(LParseSkipToCharacterAndSkip("a=b", '='), 2u);
  EXPECT_EQ(LParseSkipToCharacterAndSkip("ab", '='), 2u);
  EXPECT_EQ(LParseGetToCharactersAndSkip("k=v", "=&", out), 2u);
  EXPECT_STREQ(out, "k");
  EXPECT_EQ(LParseGetToCharacters("kv", "=&", out), 2u);
  EXPECT_EQ(LParseGetToWhiteSpaceAndSkip("a   b", out), 4u);

  // A null text is an empty one.
  LStringParserTemplate<char> none(nullptr);
  EXPECT_TRUE(none.IsEnd());
  EXPECT_EQ(LParseGetToWhiteSpace(nullptr, out), 0u);
  EXPECT_STREQ(out, "");
}
