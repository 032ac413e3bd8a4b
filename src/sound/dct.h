#pragma once
// DCT dictation files: a header of recording details, notes and
// attachments, followed by a complete WAV file, which the conversion
// copies out to be read by the WAV reader.
#include "base/processresult.h"
#include "base/stringtools.h"
#include "sound/progress.h"

class LDCTDecode {
public:
  LDCTDecode(const char* sourcePath, const char* wavPath);

  // Reports the header's faults on the progress display.  0 done, 1
  // stopped, 2 failed.
  LProcessResult Run(LProgressRef& progress);

private:
  char source_[kPathSize];
  char wav_[kPathSize];
};

// Called on the display's thread.
template <LProgressInterface P>
int Process(P& display, LDCTDecode& op)
{
  LProgressAdaptor<P> progress(display);
  return op.Run(progress);
}
