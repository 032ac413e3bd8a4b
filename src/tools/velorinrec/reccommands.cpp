#include "tools/velorinrec/reccommands.h"

#include <cstdio>

#include "audio/mp3encode.h"
#include "base/file.h"
#include "settings/configkeys.h"
#include "settings/settings.h"
#include "sound/gensource.h"
#include "sound/prsourcetosink.h"
#include "sound/recordings.h"
#include "sound/recordingsload.h"
#include "sound/wavsink.h"
#include "tools/velorinrec/terminalprogress.h"

namespace {

int ExitFor(LProcessResult result)
{
  if (result == kProcessDone)
    return kExitOk;
  return result == kProcessStopped ? kExitStopped : kExitFailed;
}

// A source that is not a readable file fails before any work starts, with
// a message that says why.
bool CheckReadable(const char* file)
{
  if (!LFile::TestFileExists(file)) {
    std::fprintf(stderr, "velorin-rec: %s: no such file\n", file);
    return false;
  }
  if (LFile::IsFolder(file)) {
    std::fprintf(stderr, "velorin-rec: %s: is a folder\n", file);
    return false;
  }
  return true;
}

// Whether the recording has both its files; an interrupted conversion
// always deletes its unfinished file.
bool HasBothFiles(const char* name)
{
  char folder[kPathSize];
  char file[kPathSize];
  return LRecordingsFindFile(file, LRecordingsGetHighFolder(folder), name) &&
         LRecordingsFindFile(file, LRecordingsGetLowFolder(folder), name);
}

}  // namespace

int RecAdd(const std::vector<const char*>& files)
{
  char encoder[kPathSize];
  if (!GetComponentPath(kEncoderComponent, encoder)) {
    std::fprintf(stderr, "velorin-rec: the MP3 encoder component \"%s\" is not installed\n", kEncoderComponent);
    return kExitFailed;
  }
  LTerminalProgress progress;
  int status = kExitOk;
  char file[kPathSize];
  char name[kPathSize];
  for (const char* path : files) {
    if (progress.IsToStop())
      break;
    if (!CheckReadable(path)) {
      status = kExitFailed;
      continue;
    }
    progress.SetSubject(LFile::GetFileFromPath(file, path));
    LRecordingsPageLoadProcess op;
    op.AddPath(path);
    LProcessResult result = Process(progress, op);
    progress.EndLine();
    LFile::GetFileNameFromPath(name, path);
    // A stop noticed once both files were finished still added the file.
    if (result != kProcessDone && progress.IsToStop() && HasBothFiles(name))
      result = kProcessDone;
    if (result == kProcessDone) {
      std::printf("Added %s (%d and %d kbit/s)\n", name, LSettingGet(VLKeys::BroadBandKBPS),
                  LSettingGet(VLKeys::DialUpKBPS));
      std::fflush(stdout);
    } else if (result == kProcessStopped || progress.IsToStop()) {
      std::fprintf(stderr, "velorin-rec: %s: stopped; the unfinished file was deleted\n", file);
      return kExitStopped;
    } else {
      std::fprintf(stderr, "velorin-rec: %s: cannot convert: unsupported or damaged audio, or the encoder failed\n",
                   file);
      status = kExitFailed;
    }
  }
  if (progress.IsToStop()) {
    std::fprintf(stderr, "velorin-rec: stopped\n");
    return kExitStopped;
  }
  return status;
}

int RecList()
{
  char name[kPathSize];
  for (LRecordingsIterator it; it; it.Next())
    std::printf("%s\n", it.GetName(name));
  return kExitOk;
}

int RecRemove(const std::vector<const char*>& names)
{
  int status = kExitOk;
  for (const char* name : names) {
    if (!LRecordingsRemove(name)) {
      std::fprintf(stderr, "velorin-rec: %s: no such recording, or it cannot be deleted\n", name);
      status = kExitFailed;
    }
  }
  return status;
}

int RecDecode(const char* file, const char* output, int rate, int channels)
{
  if (!CheckReadable(file))
    return kExitFailed;
  if (LFile::IsSameFile(file, output)) {
    std::fprintf(stderr, "velorin-rec: %s: the output would overwrite the source\n", output);
    return kExitFailed;
  }
  LTerminalProgress progress;
  char shown[kPathSize];
  progress.SetSubject(LFile::GetFileFromPath(shown, file));
  LPRSourceToSink op;
  op.name = "Decoding";
  LProcessResult result = LGenSourceOpenProcess(progress, op.source, file, "");
  if (result != kProcessDone) {
    progress.EndLine();
    if (result == kProcessFailed)
      std::fprintf(stderr, "velorin-rec: %s: not a readable audio file\n", file);
    return ExitFor(result);
  }
  int outRate = rate > 0 ? rate : op.source.GetSampleRate();
  auto outChannels = static_cast<unsigned char>(channels > 0 ? channels : op.source.GetChannels());
  auto* sink = new LWaveFileSink(output, outRate, outChannels);
  op.sink = LSoundSink(sink);
  if (op.sink.Error()) {
    std::fprintf(stderr, "velorin-rec: %s: cannot create the file\n", output);
    return kExitFailed;
  }
  result = Process(progress, op);
  progress.EndLine();
  if (result == kProcessDone && !sink->Finish())
    result = kProcessFailed;
  op.sink.Close();
  if (result != kProcessDone) {
    LFile::DeleteFile(output);
    if (result == kProcessStopped)
      std::fprintf(stderr, "velorin-rec: %s: stopped; the partial file was deleted\n", output);
    else
      std::fprintf(stderr, "velorin-rec: %s: cannot write the file\n", output);
    return ExitFor(result);
  }
  std::printf("Wrote %s (%d Hz, %d channel%s, %d frames)\n", output, outRate, outChannels, outChannels == 1 ? "" : "s",
              op.framesCopied);
  return kExitOk;
}
