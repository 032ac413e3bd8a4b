#include "web/sitetext.h"

#include "base/stringtools.h"
#include "base/stringwriters.h"
#include "base/textcoding.h"

namespace {

struct XMLEscape {
  char c;
  const char* text;
};
constexpr XMLEscape kXMLEscapes[] = {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&apos;"}};

bool IsXMLAllowedControl(unsigned char c)
{
  return c == '\t' || c == '\n' || c == '\r';
}

bool IsControl(unsigned char c)
{
  return c < 32 || c == 127;
}

}  // namespace

const char* LSiteXMLEncode(LStringLongTemplate& out, const char* text)
{
  LStringLongTemplateWriter writer(out);
  if (text == nullptr)
    return out.c_str();
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    const char* escape = nullptr;
    for (const XMLEscape& e : kXMLEscapes) {
      if (static_cast<unsigned char>(e.c) == *p)
        escape = e.text;
    }
    if (escape != nullptr)
      textcoding::AddText(writer, escape);
    else if (*p < 32 && !IsXMLAllowedControl(*p))
      writer.AddChar(' ');
    else
      writer.AddChar(static_cast<char>(*p));
  }
  return out.c_str();
}

char* LSiteLineText(char* out, const char* text)
{
  LFixedLengthStringWriterTemplate writer(out, kPathSize);
  if (text == nullptr)
    return out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p)
    writer.AddChar(IsControl(*p) ? ' ' : static_cast<char>(*p));
  return out;
}

const char* LSiteJSONEncode(LStringLongTemplate& out, const char* text)
{
  static constexpr char kHex[] = "0123456789abcdef";
  LStringLongTemplateWriter writer(out);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p == '"' || *p == '\\') {
      writer.AddChar('\\');
      writer.AddChar(static_cast<char>(*p));
    } else if (*p < 32) {
      textcoding::AddText(writer, "\\u00");
      writer.AddChar(kHex[*p >> 4]);
      writer.AddChar(kHex[*p & 15]);
    } else {
      writer.AddChar(static_cast<char>(*p));
    }
  }
  return out.c_str();
}

const char* LSiteMetricLabelEncode(LStringLongTemplate& out, const char* text)
{
  LStringLongTemplateWriter writer(out);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p == '"' || *p == '\\') {
      writer.AddChar('\\');
      writer.AddChar(static_cast<char>(*p));
    } else if (*p == '\n') {
      textcoding::AddText(writer, "\\n");
    } else {
      writer.AddChar(IsControl(*p) ? ' ' : static_cast<char>(*p));
    }
  }
  return out.c_str();
}
