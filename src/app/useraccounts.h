#pragma once
#include <sys/types.h>
#include <vector>

// One login account as "/etc/passwd" lists it.
struct LUserAccount {
  int uid = 0;
  int gid = 0;
  char name[260] = "";
  char home[260] = "";
};

using LUserAccounts = std::vector<LUserAccount>;

// The accounts of people and root: system accounts (user ids 1 to 999) are
// left out.  Lines longer than 259 bytes are cut; malformed lines skipped.
LUserAccounts LGetUsersAccounts();
// Same, from another passwd file.
LUserAccounts LGetUsersAccounts(const char* passwdPath);

// The account named by the environment's USERNAME, or null when it is unset
// or not listed.
const LUserAccount* LFindCurrentAccount(const LUserAccounts& accounts);
