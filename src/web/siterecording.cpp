#include "web/siterecording.h"

#include "base/file.h"
#include "settings/configkeys.h"
#include "settings/settings.h"
#include "sound/recordings.h"

bool LSiteFindRecordingFile(char* out, const char* name, int kbps)
{
  char folder[kPathSize];
  if (kbps >= LSettingGet(VLKeys::BroadBandKBPS))
    LRecordingsGetHighFolder(folder);
  else
    LRecordingsGetLowFolder(folder);
  return LRecordingsFindFile(out, folder, name);
}
