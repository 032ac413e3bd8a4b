#include "sound/recordingsload.h"

#include "audio/mp3encode.h"
#include "base/file.h"
#include "settings/configkeys.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "sound/gensource.h"
#include "sound/mp3.h"
#include "sound/prsourcetosink.h"
#include "sound/recordings.h"

namespace {

// The bit rate an MP3 file seems to have, from its size and decoded
// length, in the rounded-down units the pass-through test compares (seven
// per thousand bytes a second, which errs towards re-encoding).  False when
// the decoder does not accept the file.
bool EstimateMp3Kbps(const char* path, unsigned int& kbps)
{
  uint64_t size = LFile::GetFileSizeBytes(path);
  LSoundSource mp3 = LMP3File::OpenSource(path);
  if (mp3.Error())
    return false;
  uint64_t seconds = static_cast<uint64_t>(mp3.GetEnd().GetMs()) / 1000;
  if (seconds < 1)
    seconds = 1;
  kbps = static_cast<unsigned int>(size / seconds * 7 / 1000);
  return true;
}

bool IsMp3Path(const char* path)
{
  char extension[kPathSize];
  return tstricmp(LFile::GetFileExtensionFromPath(extension, path), ".mp3") == 0;
}

} // namespace

void LRecordingsPageLoadProcess::AddPath(const char* path)
{
  std::array<char, kPathSize> copy;
  tstrlcpy(copy.data(), path, copy.size());
  paths_.push_back(copy);
}

char* LRecordingsGetDestination(char* out, const char* folder, const char* sourcePath)
{
  char name[kPathSize];
  LFile::GetFileNameFromPath(name, sourcePath);
  return LFile::MakeFilePath(out, folder, name, ".mp3");
}

LProcessResult LRecordingsLoadFile(LProgressRef& display, const char* sourcePath, const char* folder, int kbps)
{
  char destination[kPathSize];
  LRecordingsGetDestination(destination, folder, sourcePath);
  if (LFile::IsSameFile(sourcePath, destination)) {
    display.SetError("The file is already in the recordings library.");
    return kProcessFailed;
  }

  if (IsMp3Path(sourcePath)) {
    unsigned int estimate = 0;
    // A file the decoder refuses is not copied into the library as it is:
    // the open below fails for it like for any unreadable source.
    if (kbps > 0 && EstimateMp3Kbps(sourcePath, estimate) && estimate <= static_cast<unsigned int>(kbps)) {
      if (LFile::CopyFile(sourcePath, destination))
        return kProcessDone;
      LOGERRORF("Cannot copy %s to %s", sourcePath, destination);
      LFile::DeleteFile(destination);
      return kProcessFailed;
    }
  }

  LMp3EncodeSettings settings(kbps);
  LPRSourceToSink op;
  op.name = "Encoding Audio...";
  LProcessResult opened = LGenSourceOpenProcess(display, op.source, sourcePath, "");
  if (opened != kProcessDone)
    return opened;
  op.sink = OpenMp3Sink(destination, settings, op.source.GetSampleRate(), op.source.GetChannels());

  LProcessResult result = Process(display, op);
  // Freeing the sink waits for the encoder to finish the file; only then
  // can a partial file be deleted for good.
  op.sink.Close();
  op.source.Close();
  if (result == kProcessDone && !LFile::TestFileExists(destination))
    result = kProcessFailed;
  if (result != kProcessDone)
    LFile::DeleteFile(destination);
  return result;
}

LProcessResult LRecordingsLoadBatch(LProgressRef& display, const LRecordingsPageLoadProcess& op)
{
  display.SetStatus1("Loading...");
  char folder[kPathSize];
  char file[kPathSize];
  for (std::size_t i = 0; i < op.GetCount(); ++i) {
    const char* path = op.GetPath(i);
    display.SetStatus2(LFile::GetFileFromPath(file, path));
    LProcessResult result =
        LRecordingsLoadFile(display, path, LRecordingsGetHighFolder(folder), LSettingGet(VLKeys::BroadBandKBPS));
    if (result != kProcessDone)
      return result;
    result = LRecordingsLoadFile(display, path, LRecordingsGetLowFolder(folder), LSettingGet(VLKeys::DialUpKBPS));
    if (result != kProcessDone)
      return result;
    if (display.IsToStop())
      return kProcessFailed;
  }
  return kProcessDone;
}
