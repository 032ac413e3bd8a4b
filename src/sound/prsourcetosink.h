#pragma once
// Copying a sound source into a sink through a rate and channel converter
// (to what the sink takes) and a peak limiter (to the 16-bit range), as a
// cooperative operation inside a progress display.  Runs on the display's
// thread (the user interface thread on the desktop).
#include "audio/soundsink.h"
#include "audio/soundsource.h"
#include "base/processresult.h"
#include "sound/progress.h"

struct LPRSourceToSink {
  // Shown on the display's first status line.
  const char* name = "Process Audio";
  LSoundSource source;
  LSoundSink sink;
  // Frames written to the sink by the last run.
  int framesCopied = 0;
};

// 0 when the whole source reached the sink, 1 when the display asked to
// stop, 2 when either handle is in error or the sink failed during the
// copy.  The copy runs to the source's real end, which may differ from the
// length the source first announced (an MP3's length is an estimate).
LProcessResult LPRSourceToSinkRun(LProgressRef& display, LPRSourceToSink& op);

template <LProgressInterface P>
int Process(P& display, LPRSourceToSink& op)
{
  LProgressAdaptor<P> progress(display);
  return LPRSourceToSinkRun(progress, op);
}
