#include "web/webletparse.h"

#include <cstring>

#include "base/stringwriters.h"
#include "base/textcoding.h"

namespace {

bool IsWhite(char c)
{
  return static_cast<unsigned char>(c) < 33;
}

// Copies the text up to the next white space (or its end) into out, cut at
// 259 characters; returns where the copy stopped.
const char* CopyWord(const char* p, char* out)
{
  LFixedLengthStringWriterTemplate writer(out, kPathSize);
  for (; *p != 0 && !IsWhite(*p); ++p) {
    writer.AddChar(*p);
  }
  return p;
}

const char* SkipWhite(const char* p)
{
  while (*p != 0 && IsWhite(*p)) {
    ++p;
  }
  return p;
}

// The methods the server answers; anything else gets 501.
constexpr const char* kServedMethods[] = {"GET", "POST"};

}  // namespace

unsigned int LWebletParseVersion(const char* text)
{
  // Past a million the number only has to stay large; it must not wrap.
  constexpr unsigned int kMaxWhole = 1000000;
  unsigned int whole = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (whole < kMaxWhole) {
      whole = whole * 10 + static_cast<unsigned int>(*p - '0');
    }
  }
  unsigned int value = (whole < kMaxWhole ? whole : kMaxWhole) * 1000;
  if (*p == '.') {
    unsigned int scale = 100;
    for (++p; *p >= '0' && *p <= '9' && scale > 0; ++p) {
      value += static_cast<unsigned int>(*p - '0') * scale;
      scale /= 10;
    }
  }
  return value;
}

void LWebletSplitRequestLine(const char* line, LWebletRequestLine& out)
{
  const char* p = CopyWord(line, out.method);
  p = SkipWhite(p);
  p = CopyWord(p, out.target);
  const char* slash = std::strchr(p, '/');
  if (slash == nullptr) {
    out.version = 0;
    return;
  }
  char version[kPathSize];
  CopyWord(slash + 1, version);
  out.version = LWebletParseVersion(version);
}

bool LWebletIsMethodServed(const char* method)
{
  for (const char* served : kServedMethods) {
    if (std::strcmp(method, served) == 0) {
      return true;
    }
  }
  return false;
}

const char* LWebletSplitQuery(char* target)
{
  char* mark = std::strchr(target, '?');
  if (mark == nullptr) {
    return nullptr;
  }
  *mark = 0;
  return mark + 1;
}

bool LWebletDecodePath(const char* target, char* path)
{
  LURIDecodeDirect(path, target);
  return path[0] == '/' && std::strstr(path, "..") == nullptr;
}

void LWebletStoreHeaderLine(const char* line, LHashTable& headers)
{
  char name[kPathSize];
  LFixedLengthStringWriterTemplate writer(name);
  const char* p = line;
  for (; *p != 0 && *p != ':'; ++p) {
    writer.AddChar(*p);
  }
  if (*p == ':') {
    p = SkipWhite(p + 1);
  }
  // A new name beyond the limit is read and dropped; repeated names still
  // replace their value.
  if (headers.GetCount() >= kWebletMaxHeaders && headers.GetParm(name, nullptr) == nullptr) {
    return;
  }
  headers.SetParm(name, p);
}

bool LWebletIsPersistent(const LWebletRequestLine& request, const char* connectionHeader)
{
  return std::strcmp(request.method, "GET") == 0 && request.version >= kWebletVersion11 &&
         std::strstr(connectionHeader, "close") == nullptr;
}
