// lyrenc [options] INPUT OUTPUT
// Encodes raw signed 16-bit PCM into MP3 with libmp3lame.  "-" for INPUT
// and OUTPUT means the standard streams; that is how the server runs its
// live encoders.  Exit status: 0 done, 1 failed, 2 bad command line.
#include "common/report.h"
#include "common/stopsignals.h"
#include "lyrenc/encoderoptions.h"
#include "lyrenc/encoderun.h"

int main(int argc, char** argv)
{
  SetProgramName("lyrenc");
  LEncoderOptions options;
  if (!ParseEncoderOptions(argc, argv, options)) {
    ReportEncoderUsage();
    return 2;
  }
  InstallStopSignals();
  LEncodeRun run(options);
  return run.Run();
}
