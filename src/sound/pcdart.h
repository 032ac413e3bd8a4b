#pragma once
// PC Dart dictation files: TrueSpeech audio after a 1024-byte header.  The
// conversion wraps the audio in a WAV header, which the WAV reader then
// refuses (it reads PCM only): a PC Dart file never opens as a source.
#include "base/processresult.h"
#include "base/stringtools.h"
#include "sound/progress.h"

class LPCDartDecode {
public:
  LPCDartDecode(const char* sourcePath, const char* wavPath);
  // 0 done, 1 stopped, 2 failed.
  LProcessResult Run(LProgressRef& progress);

private:
  char source_[kPathSize];
  char wav_[kPathSize];
};

// Called on the display's thread.
template <LProgressInterface P>
int Process(P& display, LPCDartDecode& op)
{
  LProgressAdaptor<P> progress(display);
  return op.Run(progress);
}
