#pragma once
#include <cstddef>
#include <type_traits>

#include "base/stringtools.h"

// A cursor over a zero-terminated text.  Every operation that copies a piece
// copies at most kPathSize - 1 characters into a kPathSize buffer (out may be
// null to copy nothing) and moves the cursor over the whole piece.  White
// space is every byte below 33; a line ends at CR or LF.
template <class T>
class LStringParserTemplate {
public:
  explicit LStringParserTemplate(const T* text) : start_(text != nullptr ? text : Empty()), p_(start_) {}

  const T* GetCurrent() const { return p_; }
  // Bytes the cursor has moved since construction.
  std::size_t GetConsumed() const { return static_cast<std::size_t>(p_ - start_); }

  bool IsEnd() const { return *p_ == 0; }
  bool IsCharacter(T c) const { return *p_ == c; }

  void GetToWhiteSpace(T* out)
  {
    CopyWhile(out, [](T c) { return !IsWhite(c); });
  }
  void GetToWhiteSpaceAndSkip(T* out)
  {
    GetToWhiteSpace(out);
    SkipWhiteSpace();
  }
  void GetToCharacter(const T* set, T* out)
  {
    CopyWhile(out, [set](T c) { return !InSet(set, c); });
  }
  void GetToCharacter(T c, T* out)
  {
    CopyWhile(out, [c](T x) { return x != c; });
  }
  void GetToCharacterAndSkip(const T* set, T* out)
  {
    GetToCharacter(set, out);
    SkipCharacter();
  }
  void GetToCharacterAndSkip(T c, T* out)
  {
    GetToCharacter(c, out);
    SkipCharacter();
  }
  void GetToEndOfLine(T* out)
  {
    CopyWhile(out, [](T c) { return c != '\r' && c != '\n'; });
  }

  void SkipWhiteSpace()
  {
    while (*p_ != 0 && IsWhite(*p_)) {
      ++p_;
    }
  }
  void SkipCharacter()
  {
    if (*p_ != 0) {
      ++p_;
    }
  }
  void SkipToCharacterAndSkip(T c)
  {
    GetToCharacter(c, nullptr);
    SkipCharacter();
  }
  // Moves to the next occurrence of s (true) or to the end (false).
  bool SkipToString(const T* s)
  {
    for (; *p_ != 0; ++p_) {
      if (StartsWith(p_, s)) {
        return true;
      }
    }
    return false;
  }
  // As SkipToString, then steps over s.
  bool SkipToStringAndSkip(const T* s)
  {
    if (!SkipToString(s)) {
      return false;
    }
    while (*s != 0) {
      ++p_;
      ++s;
    }
    return true;
  }

private:
  static const T* Empty()
  {
    static const T kEmpty[1] = {0};
    return kEmpty;
  }
  static bool IsWhite(T c) { return static_cast<unsigned long>(static_cast<std::make_unsigned_t<T>>(c)) < 33; }
  static bool InSet(const T* set, T c)
  {
    for (; set != nullptr && *set != 0; ++set) {
      if (*set == c) {
        return true;
      }
    }
    return false;
  }
  static bool StartsWith(const T* text, const T* s)
  {
    for (; *s != 0; ++s, ++text) {
      if (*text != *s) {
        return false;
      }
    }
    return true;
  }
  // Copies while keep(c) holds and the text goes on; the terminating zero
  // always ends the piece.
  template <class Keep>
  void CopyWhile(T* out, Keep keep)
  {
    std::size_t n = 0;
    for (; *p_ != 0 && keep(*p_); ++p_) {
      if (out != nullptr && n + 1 < kPathSize) {
        out[n++] = *p_;
      }
    }
    if (out != nullptr) {
      out[n] = 0;
    }
  }

  const T* start_;
  const T* p_;
};

// The same operations on a plain text; each returns the bytes consumed.
std::size_t LParseGetToWhiteSpace(const char* text, char* out);
std::size_t LParseGetToWhiteSpaceAndSkip(const char* text, char* out);
std::size_t LParseGetToCharacters(const char* text, const char* set, char* out);
std::size_t LParseGetToCharactersAndSkip(const char* text, const char* set, char* out);
std::size_t LParseGetToEndOfLine(const char* text, char* out);
std::size_t LParseSkipWhiteSpace(const char* text);
std::size_t LParseSkipToCharacterAndSkip(const char* text, char c);
