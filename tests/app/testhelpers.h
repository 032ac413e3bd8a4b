#pragma once
// Small checks shared by the shell's tests.

#include "common/loopback.h"

#include <algorithm>
#include <string>
#include <vector>

// Whether the texts hold these, in this order (others may come between).
inline bool InOrder(const std::vector<std::string>& texts, const std::vector<std::string>& wanted)
{
  auto at = texts.begin();
  return std::ranges::all_of(wanted, [&](const std::string& w) {
    at = std::find(at, texts.end(), w);
    return at != texts.end() && (++at, true);
  });
}

// A TCP port nobody listens on at the moment: the default may be taken.
inline int PickFreePort()
{
  return nettest::Listener("0.0.0.0").Port();
}
