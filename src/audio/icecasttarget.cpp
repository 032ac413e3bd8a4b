#include "audio/icecasttarget.h"

#include <cstdio>
#include <cstring>

#include "base/textcoding.h"
#include "net/ipaddress.h"

bool LIcecastTarget::Parse(const char* url)
{
  // Nothing of a refused address is kept.
  const bool valid = Split(url);
  if (!valid)
    *this = LIcecastTarget();
  return valid;
}

bool LIcecastTarget::Split(const char* url)
{
  char hostPart[kPathSize];
  ProcessHTTPSplitHost(url, hostPart, mount);
  if (mount[0] != '/' || mount[1] == 0)
    return false;
  // The credentials end at the last '@': a password may hold one.
  char credentials[kPathSize] = "source:";
  const char* at = std::strrchr(hostPart, '@');
  const char* address = hostPart;
  if (at != nullptr) {
    // A user without a password gets an empty one.
    const int userInfo = static_cast<int>(at - hostPart);
    const bool hasPassword = std::memchr(hostPart, ':', static_cast<size_t>(userInfo)) != nullptr;
    std::snprintf(credentials, kPathSize, "%.*s%s", userInfo, hostPart, hasPassword ? "" : ":");
    address = at + 1;
  }
  char name[kPathSize];
  const unsigned short port = SplitPortFromAddr(address, name, kIcecastDefaultPort);
  if (name[0] == 0 || port == 0)
    return false;
  std::snprintf(host, kPathSize, "%.250s:%u", name, static_cast<unsigned int>(port));
  LBase64Encode(authorization, credentials);
  std::snprintf(shown, kPathSize, "%.129s%.129s", host, mount);
  return true;
}
