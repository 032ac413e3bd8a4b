#pragma once
#include <cstddef>

// URI and HTML encoding into any writer (see stringwriters.h).

namespace textcoding {

// Characters with a meaning of their own in a URI.
inline constexpr char kReserved[] = "%:/?#[]@!$&'()*+,;=";
// Printable characters that could end the quoted attribute or the URL a
// URI-encoded value is placed in ("<a href="...%U...">"), so they are
// escaped as well.
inline constexpr char kUnsafe[] = "\"<>\\^`{|}";

constexpr bool InSet(const char* set, unsigned char b)
{
  for (; *set != 0; ++set) {
    if (static_cast<unsigned char>(*set) == b) {
      return true;
    }
  }
  return false;
}

// Printable ASCII (33..126) outside both sets is written as it is.
constexpr bool IsURIVerbatim(unsigned char b)
{
  return b >= 33 && b <= 126 && !InSet(kReserved, b) && !InSet(kUnsafe, b);
}

// Value of a hexadecimal digit in either case; anything else counts as 0.
constexpr int HexValue(unsigned char b)
{
  if (b >= '0' && b <= '9') {
    return b - '0';
  }
  if (b >= 'a' && b <= 'f') {
    return b - 'a' + 10;
  }
  if (b >= 'A' && b <= 'F') {
    return b - 'A' + 10;
  }
  return 0;
}

struct HTMLEscape {
  char c;
  const char* text;
};
inline constexpr HTMLEscape kHTMLEscapes[] = {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}};

template <class Writer>
void AddText(Writer& writer, const char* text)
{
  for (; *text != 0; ++text) {
    writer.AddChar(*text);
  }
}

}  // namespace textcoding

// Writes text with every byte that is not plain printable ASCII (and every
// reserved or unsafe character) as '%' and two upper-case hex digits.
template <class Writer>
void LURIEncodeToWriter(Writer& writer, const char* text)
{
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (text == nullptr) {
    return;
  }
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (textcoding::IsURIVerbatim(*p)) {
      writer.AddChar(static_cast<char>(*p));
    } else {
      writer.AddChar('%');
      writer.AddChar(kHex[*p >> 4]);
      writer.AddChar(kHex[*p & 15]);
    }
  }
}

// Decodes text until its end or a byte of stopSet (not consumed); returns
// the number of bytes consumed.  '+' is a space; '%' takes the next two
// bytes as hex digits whatever they are; a decoded zero byte is dropped.
template <class Writer>
std::size_t LURIDecodeToWriterDirect(Writer& writer, const char* text, const char* stopSet)
{
  if (text == nullptr) {
    return 0;
  }
  if (stopSet == nullptr) {
    stopSet = "";
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* start = p;
  while (*p != 0 && !textcoding::InSet(stopSet, *p)) {
    if (*p == '+') {
      writer.AddChar(' ');
      ++p;
    } else if (*p == '%') {
      // A cut escape at the end of the text ends decoding there.
      if (p[1] == 0) {
        return static_cast<std::size_t>(p + 1 - start);
      }
      if (p[2] == 0) {
        return static_cast<std::size_t>(p + 2 - start);
      }
      int value = textcoding::HexValue(p[1]) * 16 + textcoding::HexValue(p[2]);
      if (value != 0) {
        writer.AddChar(static_cast<char>(value));
      }
      p += 3;
    } else {
      writer.AddChar(static_cast<char>(*p));
      ++p;
    }
  }
  return static_cast<std::size_t>(p - start);
}

// HTML-encodes text: the four markup characters become entities, a run of
// blanks becomes one space, one line break "<br>", a blank line "<p>" (a CR
// LF pair counts as one line end), and each further empty line "<br>".
template <class Writer>
void LHTMLEncodeToWriter(Writer& writer, const char* text)
{
  if (text == nullptr) {
    return;
  }
  bool lastBlank = false;
  unsigned char lineEnd = 0;  // the line-end byte of the pending break, 0 when none
  int lines = 0;              // 1: a break is pending, 2: a paragraph
  auto flush = [&] {
    if (lines >= 2) {
      textcoding::AddText(writer, "<p>");
    } else if (lines == 1) {
      textcoding::AddText(writer, "<br>");
    }
    if (lines > 0) {
      lastBlank = false;
    }
    lines = 0;
    lineEnd = 0;
  };
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    unsigned char c = *p;
    if (c == ' ' || c == '\t') {
      if (!lastBlank) {
        writer.AddChar(' ');
        lastBlank = true;
      }
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (lines == 0) {
        lineEnd = c;
        lines = 1;
      } else if (c == lineEnd) {
        if (lines == 1) {
          lines = 2;
        } else {
          textcoding::AddText(writer, "<br>");
          lastBlank = false;
        }
      }
      continue;
    }
    flush();
    lastBlank = false;
    const char* escape = nullptr;
    for (const auto& e : textcoding::kHTMLEscapes) {
      if (static_cast<unsigned char>(e.c) == c) {
        escape = e.text;
      }
    }
    if (escape != nullptr) {
      textcoding::AddText(writer, escape);
    } else {
      writer.AddChar(static_cast<char>(c));
    }
  }
  flush();
}

// Base64 (RFC 4648, with padding) of text into a kPathSize buffer; a result
// that does not fit is cut at a whole group.  Returns the length written.
std::size_t LBase64Encode(char* out, const char* text);

// URI-encodes text into a kPathSize buffer (a longer result is cut, even
// inside an escape); returns the length written.
std::size_t LURIEncode(char* out, const char* text);
// Decodes the whole text into a kPathSize buffer; returns the length written.
std::size_t LURIDecodeDirect(char* out, const char* text);
