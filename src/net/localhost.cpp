#include "net/localhost.h"

#include "base/formatter.h"
#include "base/stringtools.h"
#include "net/ipaddress.h"
#include "net/resolve.h"

#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t kNameSize = kPathSize;
// The resolver gives far fewer addresses in practice; the walk only needs
// to see every one of them.
constexpr unsigned int kMaxLocalAddresses = 64;

bool GetHostName(char* name)
{
  if (gethostname(name, kNameSize) != 0)
    return false;
  name[kNameSize - 1] = 0;
  return true;
}

// The address walk shared by both forms: a later address replaces the
// taken one when replaces() says so.
template <class Replaces>
bool WalkLocalAddresses(unsigned char ip[4], Replaces replaces)
{
  memset(ip, 0, 4);
  char name[kNameSize];
  if (!GetHostName(name))
    return false;
  uint32_t addresses[kMaxLocalAddresses];
  unsigned int count = LResolveHostIPv4(name, addresses, kMaxLocalAddresses);
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned char* candidate = reinterpret_cast<const unsigned char*>(&addresses[i]);
    if (i == 0 || (!IsIPSpecial(candidate) && replaces(candidate)))
      memcpy(ip, candidate, 4);
  }
  return count > 0;
}

}  // namespace

bool GetLocalHostIP(unsigned char ip[4])
{
  return WalkLocalAddresses(ip, [](const unsigned char* a) { return !IsIPPrivate(a); });
}

bool GetLocalHostPrivateIP(unsigned char ip[4])
{
  return WalkLocalAddresses(ip, [](const unsigned char* a) { return IsIPPrivate(a); });
}

void LIPGetLocalHostIPPublic(char* text)
{
  unsigned char ip[4];
  GetLocalHostIP(ip);
  tsprintf(text, kNameSize, "%d.%d.%d.%d", ip[0], ip[1], ip[2], ip[3]);
}

void LIPGetLocalFQDN(char* name)
{
  unsigned char ip[4];
  GetLocalHostPrivateIP(ip);
  uint32_t address;
  memcpy(&address, ip, 4);
  if (LResolveAddressName(address, name))
    return;
  char host[kNameSize];
  uint32_t ignored;
  if (GetHostName(host) && LResolveHostIPv4(host, &ignored, 1, name) == 1)
    return;
  tlstrcpy(name, "localhost");
}
