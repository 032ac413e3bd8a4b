#include "base/stringparser.h"

namespace {
using Parser = LStringParserTemplate<char>;
}  // namespace

std::size_t LParseGetToWhiteSpace(const char* text, char* out)
{
  Parser parser(text);
  parser.GetToWhiteSpace(out);
  return parser.GetConsumed();
}

std::size_t LParseGetToWhiteSpaceAndSkip(const char* text, char* out)
{
  Parser parser(text);
  parser.GetToWhiteSpaceAndSkip(out);
  return parser.GetConsumed();
}

std::size_t LParseGetToCharacters(const char* text, const char* set, char* out)
{
  Parser parser(text);
  parser.GetToCharacter(set, out);
  return parser.GetConsumed();
}

std::size_t LParseGetToCharactersAndSkip(const char* text, const char* set, char* out)
{
  Parser parser(text);
  parser.GetToCharacterAndSkip(set, out);
  return parser.GetConsumed();
}

std::size_t LParseGetToEndOfLine(const char* text, char* out)
{
  Parser parser(text);
  parser.GetToEndOfLine(out);
  return parser.GetConsumed();
}

std::size_t LParseSkipWhiteSpace(const char* text)
{
  Parser parser(text);
  parser.SkipWhiteSpace();
  return parser.GetConsumed();
}

std::size_t LParseSkipToCharacterAndSkip(const char* text, char c)
{
  Parser parser(text);
  parser.SkipToCharacterAndSkip(c);
  return parser.GetConsumed();
}
