#include "net/resolve.h"

#include "base/stringtools.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <new>
#include <sys/socket.h>

namespace {

// The resolver reports ERANGE when its scratch buffer is too small (hosts
// with many aliases or addresses); grow up to a sane ceiling.
constexpr size_t kFirstScratch = 2048;
constexpr size_t kMaxScratch = 1 << 20;

// Runs one re-entrant look-up, growing the scratch buffer on ERANGE, and
// hands the resulting hostent to use().  False when nothing was found.
template <class Lookup, class Use>
bool WithHostEntry(Lookup lookup, Use use)
{
  for (size_t size = kFirstScratch; size <= kMaxScratch; size *= 2) {
    std::unique_ptr<char[]> scratch(new (std::nothrow) char[size]);
    if (!scratch)
      return false;
    hostent entry;
    hostent* result = nullptr;
    int herr = 0;
    int rc = lookup(&entry, scratch.get(), size, &result, &herr);
    if (rc == ERANGE)
      continue;
    if (rc != 0 || result == nullptr)
      return false;
    use(*result);
    return true;
  }
  return false;
}

}  // namespace

unsigned int LResolveHostIPv4(const char* name, uint32_t* addresses, unsigned int max, char* officialName)
{
  if (name == nullptr || *name == 0)
    return 0;
  unsigned int count = 0;
  WithHostEntry([name](hostent* e, char* buf, size_t size, hostent** res,
                       int* herr) { return gethostbyname2_r(name, AF_INET, e, buf, size, res, herr); },
                [&](const hostent& e) {
                  if (e.h_addrtype != AF_INET || e.h_length != 4)
                    return;
                  for (char** a = e.h_addr_list; *a != nullptr && count < max; ++a)
                    memcpy(&addresses[count++], *a, 4);
                  if (officialName != nullptr && count > 0)
                    tlstrcpy(officialName, e.h_name != nullptr ? e.h_name : name);
                });
  return count;
}

bool LResolveAddressName(uint32_t address, char* name)
{
  bool found = false;
  WithHostEntry(
      [&address](hostent* e, char* buf, size_t size, hostent** res, int* herr) {
        return gethostbyaddr_r(&address, sizeof address, AF_INET, e, buf, size, res, herr);
      },
      [&](const hostent& e) {
        if (e.h_name != nullptr && *e.h_name != 0) {
          tlstrcpy(name, e.h_name);
          found = true;
        }
      });
  return found;
}
