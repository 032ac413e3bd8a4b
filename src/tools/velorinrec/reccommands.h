#pragma once
// The commands of velorin-rec, each returning the process's exit status:
// 0 success, 1 a failure, 2 bad usage, 130 stopped by an interrupt.
#include <vector>

#include "sound/rawsettings.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 130;

int RecAdd(const std::vector<const char*>& files);
int RecList();
int RecRemove(const std::vector<const char*>& names);
// rate 0 / channels 0: those of the source.
int RecDecode(const char* file, const char* output, int rate, int channels);
