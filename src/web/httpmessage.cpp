#include "web/httpmessage.h"

#include "base/formatter.h"
#include "base/stringtools.h"
#include "net/ipaddress.h"

#include <cstring>
#include <strings.h>

bool LHTTPSplitURL(const char* url, char* host, char* path)
{
  *host = 0;
  *path = 0;
  if (url == nullptr || strlen(url) >= kPathSize)
    return false;
  ProcessHTTPSplitHost(url, host, path);
  if (*path == 0)
    tlstrcpy(path, "/");
  return true;
}

void LHTTPFormatGet(char* out, std::size_t size, const char* path, const char* host)
{
  tsprintf(out, size, "GET %s HTTP/1.0\r\nHost: %s\r\n\r\n", path, host);
}

void LHTTPFormatPost(char* out, std::size_t size, const char* path, const char* host, int bodyLength)
{
  tsprintf(out, size,
           "POST %s HTTP/1.0\r\nHost: %s\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: %d\r\n\r\n",
           path, host, bodyLength);
}

int LHTTPStatusCode(const char* line)
{
  // "HTTP/1.0 200": the code takes the three characters after the protocol
  // name, its version and one space.
  constexpr std::size_t kCodeAt = 9;
  if (strncasecmp(line, "HTTP", 4) != 0 || strlen(line) < kCodeAt + 3)
    return -1;
  int code = 0;
  for (std::size_t i = kCodeAt; i < kCodeAt + 3; ++i) {
    if (line[i] < '0' || line[i] > '9')
      return -1;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

bool LHTTPStatusIsSuccess(int code)
{
  return code >= 200 && code <= 399;
}

LHTTPLengthHeader LHTTPParseContentLength(const char* line, uint64_t& length)
{
  static constexpr char kName[] = "Content-Length: ";
  if (strncmp(line, kName, sizeof kName - 1) != 0)
    return LHTTPLengthHeader::Other;
  const char* p = line + sizeof kName - 1;
  if (*p < '0' || *p > '9')
    return LHTTPLengthHeader::Invalid;
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    unsigned digit = static_cast<unsigned>(*p - '0');
    if (value > (UINT64_MAX - digit) / 10)
      return LHTTPLengthHeader::Invalid;
    value = value * 10 + digit;
  }
  // Blanks may trail the value; anything else makes it unreadable.
  while (*p == ' ' || *p == '\t')
    ++p;
  if (*p != 0)
    return LHTTPLengthHeader::Invalid;
  length = value;
  return LHTTPLengthHeader::Length;
}
