#pragma once
// The copy step of the converters that unwrap a WAV file from a container.
#include "base/fileref.h"
#include "base/processresult.h"
#include "sound/progress.h"

// Copies the rest of `from` into `to` in blocks of kCopyBlockBytes, asking
// to stop before each block and moving the bar from `progressFrom` to 1.
// 0 done, 1 stopped, 2 when a write fails.
LProcessResult LCopyRestWithProgress(LProgressRef& progress, LReadFileRef& from, LWriteFileRef& to,
                                     double progressFrom);

inline constexpr int kCopyBlockBytes = 32768;
