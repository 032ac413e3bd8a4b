#pragma once
// Conversion of files that an outside decoder program reads: the program
// (a component in /opt/ostrel/components/<name>/<name>) is run through the
// shell and leaves a WAV file behind.
#include <cstddef>

#include "base/processresult.h"
#include "base/stringtools.h"
#include "sound/progress.h"

inline constexpr std::size_t kCommandLineSize = 600;

// One decoder: the command template's three "%s" are the component's path,
// then the output WAV and the source (traded when swapPaths is set).
struct LCommandLineDecodeRow {
  const char* extension;
  const char* component;
  const char* commandTemplate;
  bool swapPaths;
};

// The rows, and their count.
const LCommandLineDecodeRow* LCommandLineDecodeList(std::size_t& count);

// Builds the decoder command for the source's extension into `command`
// (kCommandLineSize bytes).  `component` (kPathSize bytes) receives the
// matching row's component name, installed or not, and is empty when no
// row matches.  True when a row matched, its component is installed and
// the command fits.  The paths are escaped for the shell's double quotes,
// so no file name can end the quoting and run commands of its own.
bool LGetCommandLineDecoderLine(char* command, const char* sourcePath, const char* wavPath, char* component);

class LCmdLineConvertToWav {
public:
  LCmdLineConvertToWav(const char* sourcePath, const char* wavPath);
  // Runs the decoder for up to an hour (a decoder that runs longer is left
  // running).  0 when it exited with status 0, 1 stopped, 2 failed; a
  // missing decoder is shown on the progress display.
  LProcessResult Run(LProgressRef& progress);

  static constexpr unsigned int kTimeLimitMs = 3600000;

private:
  char source_[kPathSize];
  char wav_[kPathSize];
};

// Called on the display's thread.
template <LProgressInterface P>
int Process(P& display, LCmdLineConvertToWav& op)
{
  LProgressAdaptor<P> progress(display);
  return op.Run(progress);
}
