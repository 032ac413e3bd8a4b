#include "net/ipaddress.h"

#include "base/stringtools.h"
#include "net/resolve.h"

#include <arpa/inet.h>
#include <cstring>

bool IsIPPrivate(const unsigned char ip[4])
{
  switch (ip[0]) {
  case 192: return ip[1] == 168;
  case 10: return true;
  case 172: return (ip[1] & 0xF0) == 16;  // 172.16.0.0/12 only
  case 169: return ip[1] == 254;
  case 127: return ip[1] == 0;
  default: return false;
  }
}

bool IsIPSpecial(const unsigned char ip[4])
{
  return ip[0] == 0 || ip[0] == 127;
}

LIPAddress::LIPAddress(const char* text)
{
  if (text == nullptr)
    return;
  in_addr_t parsed = inet_addr(text);
  if (parsed != INADDR_NONE) {
    address_ = parsed;
    return;
  }
  uint32_t first = 0;
  if (LResolveHostIPv4(text, &first, 1) == 1)
    address_ = first;
}

LIPAddress LIPAddress::FromNetworkOrder(uint32_t address)
{
  LIPAddress a;
  a.address_ = address;
  return a;
}

LIPAddressWithPort::LIPAddressWithPort() : LIPAddressWithPort(LIPAddress(), 0) {}

LIPAddressWithPort::LIPAddressWithPort(LIPAddress address, unsigned short port)
{
  memset(&address_, 0, sizeof address_);
  address_.sin_family = AF_INET;
  address_.sin_port = htons(port);
  address_.sin_addr.s_addr = address.GetNetworkOrder();
}

bool LIPAddressMultiHomed::Resolve(const char* text)
{
  count_ = 0;
  if (text == nullptr)
    return false;
  in_addr_t parsed = inet_addr(text);
  if (parsed != INADDR_NONE) {
    addresses_[0] = parsed;
    count_ = 1;
  } else {
    count_ = LResolveHostIPv4(text, addresses_, kMaxAddresses);
  }
  return count_ > 0;
}

LIPAddressMultiHomedWithPort::LIPAddressMultiHomedWithPort(const char* text, unsigned short defaultPort)
{
  char host[kPathSize];
  port_ = SplitPortFromAddr(text, host, defaultPort);
  hosts_.Resolve(host);
}

unsigned short SplitPortFromAddr(const char* text, char* host, unsigned short defaultPort)
{
  if (text == nullptr) {
    *host = 0;
    return defaultPort;
  }
  const char* colon = strchr(text, ':');
  if (colon == nullptr) {
    tlstrcpy(host, text);
    return defaultPort;
  }
  size_t hostLength = static_cast<size_t>(colon - text);
  tstrlcpy(host, text, hostLength < kPathSize ? hostLength + 1 : kPathSize);
  return static_cast<unsigned short>(ttoi(colon + 1));
}

void ProcessHTTPSplitHost(const char* url, char* host, char* path)
{
  size_t hostLength = 0;
  *host = 0;
  *path = 0;
  if (url == nullptr)
    return;
  const char* p = url;
  for (; *p != 0; ++p) {
    if (p[0] == '/') {
      if (p[1] != '/')
        break;
      ++p;
      hostLength = 0;
      continue;
    }
    if (hostLength < kPathSize - 1)
      host[hostLength++] = *p;
  }
  host[hostLength] = 0;
  tlstrcpy(path, p);
}
