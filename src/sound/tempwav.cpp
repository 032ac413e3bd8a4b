#include "sound/tempwav.h"

#include "base/file.h"
#include "base/formatter.h"

bool LChooseTempWavPath(const char* folder, LLockFile& lock, char* out)
{
  for (int n = 1;; ++n) {
    char name[kPathSize];
    tsprintf(name, kPathSize, "Temp%d.wav", n);
    // A cut name would be the same file for every n, and the search would
    // never end.
    if (!LFile::MakeFilePathWhole(out, folder, name)) {
      return false;
    }
    if (!lock.Lock(out)) {
      continue;
    }
    if (!LFile::TestFileExists(out)) {
      return true;
    }
    if (!LFile::TestFileShareWriteBlocked(out) && LFile::DeleteFile(out)) {
      return true;
    }
  }
}
