#include "app/useraccounts.h"

#include "base/stringtools.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kFirstPersonUid = 1000;

// Field n (from 1) of a ":"-separated line, cut to 259 bytes; false when the
// line has fewer fields.
bool Field(const char* line, int n, char* out)
{
  const char* start = line;
  for (int i = 1; i < n; ++i) {
    start = std::strchr(start, ':');
    if (start == nullptr)
      return false;
    ++start;
  }
  const char* end = std::strchr(start, ':');
  size_t length = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
  if (length >= kPathSize)
    length = kPathSize - 1;
  std::memcpy(out, start, length);
  out[length] = 0;
  return true;
}

bool ParseAccount(const char* line, LUserAccount& account)
{
  char uid[kPathSize];
  char gid[kPathSize];
  if (!Field(line, 1, account.name) || !Field(line, 3, uid) || !Field(line, 4, gid) || !Field(line, 6, account.home) ||
      account.name[0] == 0 || uid[0] == 0)
    return false;
  account.uid = ttoi(uid);
  account.gid = ttoi(gid);
  return account.uid == 0 || account.uid >= kFirstPersonUid;
}

}  // namespace

LUserAccounts LGetUsersAccounts()
{
  return LGetUsersAccounts("/etc/passwd");
}

LUserAccounts LGetUsersAccounts(const char* passwdPath)
{
  LUserAccounts accounts;
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(passwdPath, "re"), &std::fclose);
  if (file == nullptr)
    return accounts;
  char line[kPathSize];
  bool lineStart = true;
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    const size_t length = std::strlen(line);
    const bool whole = length > 0 && line[length - 1] == '\n';
    if (whole)
      line[length - 1] = 0;
    // The rest of an over-long line is not a line of its own.
    LUserAccount account;
    if (lineStart && ParseAccount(line, account))
      accounts.push_back(account);
    lineStart = whole;
  }
  return accounts;
}

const LUserAccount* LFindCurrentAccount(const LUserAccounts& accounts)
{
  const char* name = std::getenv("USERNAME");
  if (name == nullptr)
    return nullptr;
  for (const LUserAccount& account : accounts)
    if (std::strcmp(account.name, name) == 0)
      return &account;
  return nullptr;
}
