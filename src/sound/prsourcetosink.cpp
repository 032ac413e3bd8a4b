#include "sound/prsourcetosink.h"

#include <algorithm>
#include <vector>

#include "audio/soundbase.h"
#include "settings/log.h"
#include "sound/spconvertrate.h"
#include "sound/sppeaklimit.h"

namespace {

constexpr int kBlockFrames = 8192;

// Progress of `done` frames out of the source's current length, which
// grows or shrinks as the source corrects its estimate.
double Fraction(int done, const LSoundSource& source)
{
  int end = source.GetEndSample();
  if (end <= 0)
    return 0.0;
  return std::min(1.0, static_cast<double>(done) / end);
}

}  // namespace

LProcessResult LPRSourceToSinkRun(LProgressRef& display, LPRSourceToSink& op)
{
  op.framesCopied = 0;
  display.SetStatus1(op.name);
  display.SetStatus2("Please wait...");
  display.SetProgress(0.0);
  if (op.source.Error() || op.sink.Error())
    return kProcessFailed;

  LSoundSource source = op.source;
  LSPConvertSourceRateChannels(op.sink.GetSampleRate(), op.sink.GetChannels(), source);
  LSPPeakLimit limit(LSF16::GetPeak());
  source = limit.OpenSource(source);
  if (source.Error())
    return kProcessFailed;

  const int announced = source.GetEndSample() - source.GetPositionSample();
  std::vector<int> buffer(static_cast<std::size_t>(kBlockFrames) * source.GetChannels());
  // Read until the source itself says it has ended: its announced length
  // only sizes the progress bar.
  for (;;) {
    if (display.IsToStop())
      return kProcessStopped;
    int n = source.Read(buffer.data(), kBlockFrames);
    if (n <= 0)
      break;
    if (op.sink.Write(buffer.data(), n) < 0 || op.sink.Error())
      return kProcessFailed;
    op.framesCopied += n;
    display.SetProgress(Fraction(op.framesCopied, source));
  }
  if (op.framesCopied != announced)
    LOGINFOF("%s: %d frames copied, %d announced", op.name, op.framesCopied, announced);
  display.SetProgress(1.0);
  return kProcessDone;
}
