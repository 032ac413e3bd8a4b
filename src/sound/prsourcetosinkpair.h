#pragma once
// Two source-to-sink copies at once, one per processor: the two bit rates
// of one recording, each with its own source reader and encoder.  The
// second copy runs on a worker thread; the first runs on the calling
// thread, which owns the display and keeps it answering until both end.
#include "base/processresult.h"
#include "sound/progress.h"
#include "sound/prsourcetosink.h"

struct LPRSourceToSinkPairResult {
  LProcessResult first;
  LProcessResult second;
};

// Called on the display's thread; every display call stays on it.  The
// bar shows the mean of both copies' progress and the status lines are the
// first copy's.  A stop asked by the display stops both copies.  When the
// first copy does not complete (stopped or failed) the second is stopped
// too: a recording keeps no dial-up file without its broadband one.  A
// failure of the second leaves the first running to its end.  The sinks
// stay open; the caller closes them.
LPRSourceToSinkPairResult LPRSourceToSinkRunPair(LProgressRef& display, LPRSourceToSink& first,
                                                 LPRSourceToSink& second);
