#include "sound/convertcopy.h"

LProcessResult LCopyRestWithProgress(LProgressRef& progress, LReadFileRef& from, LWriteFileRef& to, double progressFrom)
{
  const uint64_t size = from.GetFileSizeBytes();
  const uint64_t at = from.Tell();
  const double total = size > at ? static_cast<double>(size - at) : 1.0;
  double copied = 0;
  static_assert(kCopyBlockBytes <= 65536, "the block lives on the stack");
  unsigned char block[kCopyBlockBytes];
  for (;;) {
    if (progress.IsToStop()) {
      return kProcessStopped;
    }
    size_t got = from.Read(block, sizeof block);
    if (got == 0) {
      return kProcessDone;
    }
    if (to.Write(block, got) != got) {
      return kProcessFailed;
    }
    copied += static_cast<double>(got);
    double fraction = copied < total ? copied / total : 1.0;
    progress.SetProgress(progressFrom + (1.0 - progressFrom) * fraction);
  }
}
