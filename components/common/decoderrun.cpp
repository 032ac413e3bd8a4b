#include "common/decoderrun.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "common/report.h"
#include "common/stopsignals.h"

namespace {

struct LDecoderArgs {
  const char* output = nullptr;
  const char* input = nullptr;
};

bool ParseDecoderArgs(int argc, char** argv, bool acceptDecodeFlag, LDecoderArgs& args)
{
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-o") == 0) {
      if (i + 1 >= argc) {
        ReportError("option -o needs a file name");
        return false;
      }
      args.output = argv[++i];
    } else if (acceptDecodeFlag && std::strcmp(arg, "-d") == 0) {
      // Decoding is the only thing this program does.
    } else if (arg[0] == '-' && arg[1] != '\0') {
      ReportError("unknown option '%s'", arg);
      return false;
    } else if (args.input != nullptr) {
      ReportError("more than one input file ('%s' and '%s')", args.input, arg);
      return false;
    } else {
      args.input = arg;
    }
  }
  if (args.output == nullptr || args.input == nullptr || args.output[0] == '\0' || args.input[0] == '\0') {
    ReportError("an output file (-o) and an input file are needed");
    return false;
  }
  return true;
}

// The output is renamed onto and, on failure, removed: only a plain file
// (or a link, which rename and unlink replace rather than follow) may be
// there, never a device or a folder.
bool IsReplaceable(const char* path)
{
  struct stat status;
  if (::lstat(path, &status) != 0)
    return errno == ENOENT;
  return S_ISREG(status.st_mode) || S_ISLNK(status.st_mode);
}

bool SameFile(const char* a, const char* b)
{
  struct stat sa, sb;
  return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int RunDecoderMain(const char* name, int argc, char** argv, bool acceptDecodeFlag, LDecodeFunction decode)
{
  SetProgramName(name);
  LDecoderArgs args;
  if (!ParseDecoderArgs(argc, argv, acceptDecodeFlag, args)) {
    ReportError("usage: %s %s-o OUTPUT.wav INPUT", name, acceptDecodeFlag ? "[-d] " : "");
    return 2;
  }
  // Failure removes the output path below: never when it is the input.
  if (SameFile(args.input, args.output)) {
    ReportError("the output file is the input file '%s'", args.input);
    return 2;
  }
  if (!IsReplaceable(args.output)) {
    ReportError("the output '%s' is not a file that can be replaced", args.output);
    return 2;
  }
  InstallStopSignals();
  // A stop signal takes the output path too, as a failure does below.
  RemoveOnStop(1, args.output);

  LWavWriter wav;
  if (wav.Create(args.output) && decode(args.input, wav) && wav.Commit())
    return 0;
  wav.Discard();
  // Callers judge success by the WAV they find, so an older file at the
  // output path must not survive a failed decode.
  if (::unlink(args.output) != 0 && errno != ENOENT) {
    ReportError("cannot remove '%s': %s", args.output, std::strerror(errno));
  }
  return 1;
}
