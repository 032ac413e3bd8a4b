#include "sound/recordingsload.h"

#include "audio/mp3encode.h"
#include "base/file.h"
#include "settings/configkeys.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "sound/gensource.h"
#include "sound/mp3.h"
#include "sound/prsourcetosink.h"
#include "sound/prsourcetosinkpair.h"
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

// One source at one rate.  Prepared on the display's thread (the checks,
// the pass-through copy, opening the source and starting the encoder);
// its copy may then run on any one thread; finished on the display's
// thread again.
struct LLoadJob {
  char destination[kPathSize] = {};
  LPRSourceToSink op;
  // Whether op still has to run: false once the file is settled (copied
  // through, or failed before any encoding).
  bool ready = false;
};

LProcessResult PrepareLoad(LProgressRef& display, const char* sourcePath, const char* folder, int kbps, LLoadJob& job)
{
  LRecordingsGetDestination(job.destination, folder, sourcePath);
  if (LFile::IsSameFile(sourcePath, job.destination)) {
    display.SetError("The file is already in the recordings library.");
    return kProcessFailed;
  }

  if (IsMp3Path(sourcePath)) {
    unsigned int estimate = 0;
    // A file the decoder refuses is not copied into the library as it is:
    // the open below fails for it like for any unreadable source.
    if (kbps > 0 && EstimateMp3Kbps(sourcePath, estimate) && estimate <= static_cast<unsigned int>(kbps)) {
      if (LFile::CopyFile(sourcePath, job.destination))
        return kProcessDone;
      LOGERRORF("Cannot copy %s to %s", sourcePath, job.destination);
      LFile::DeleteFile(job.destination);
      return kProcessFailed;
    }
  }

  LMp3EncodeSettings settings(kbps);
  job.op.name = "Encoding Audio...";
  LProcessResult opened = LGenSourceOpenProcess(display, job.op.source, sourcePath, "");
  if (opened != kProcessDone)
    return opened;
  job.op.sink = OpenMp3Sink(job.destination, settings, job.op.source.GetSampleRate(), job.op.source.GetChannels());
  job.ready = true;
  return kProcessDone;
}

// The result of a copy that ran: the file is finished, or deleted.
LProcessResult FinishLoad(LLoadJob& job, LProcessResult result)
{
  // Freeing the sink waits for the encoder to finish the file; only then
  // can a partial file be deleted for good.
  job.op.sink.Close();
  job.op.source.Close();
  if (result == kProcessDone && !LFile::TestFileExists(job.destination))
    result = kProcessFailed;
  if (result != kProcessDone)
    LFile::DeleteFile(job.destination);
  return result;
}

// Runs a prepared job alone.
LProcessResult RunLoad(LProgressRef& display, LLoadJob& job)
{
  if (!job.ready)
    return kProcessDone;
  return FinishLoad(job, Process(display, job.op));
}

// Both rates of one source.  What stays after a failure or a stop is what
// making the broadband file first would have left: a dial-up failure or
// stop keeps a finished broadband file, while a broadband failure or stop
// keeps no dial-up file, even one that was finished first.
LProcessResult LoadBothRates(LProgressRef& display, const char* path)
{
  char folder[kPathSize];
  LLoadJob high;
  LProcessResult result =
      PrepareLoad(display, path, LRecordingsGetHighFolder(folder), LSettingGet(VLKeys::BroadBandKBPS), high);
  if (result != kProcessDone)
    return result;
  LLoadJob low;
  result = PrepareLoad(display, path, LRecordingsGetLowFolder(folder), LSettingGet(VLKeys::DialUpKBPS), low);
  if (result != kProcessDone) {
    LProcessResult highResult = RunLoad(display, high);
    return highResult != kProcessDone ? highResult : result;
  }

  LProcessResult highResult;
  LProcessResult lowCopy = kProcessDone;  // the dial-up copy's own result
  if (high.ready && low.ready) {
    // Two encodings of an hour-long source take half the time on two
    // processors: each copy reads, converts and encodes on its own.
    LPRSourceToSinkPairResult both = LPRSourceToSinkRunPair(display, high.op, low.op);
    highResult = FinishLoad(high, both.first);
    lowCopy = both.second;
  } else {
    highResult = RunLoad(display, high);
    if (highResult == kProcessDone && low.ready)
      lowCopy = Process(display, low.op);
  }
  if (highResult != kProcessDone) {
    FinishLoad(low, kProcessStopped);
    return highResult;
  }
  return FinishLoad(low, lowCopy);
}

}  // namespace

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
  LLoadJob job;
  LProcessResult result = PrepareLoad(display, sourcePath, folder, kbps, job);
  return result != kProcessDone ? result : RunLoad(display, job);
}

LProcessResult LRecordingsLoadBatch(LProgressRef& display, const LRecordingsPageLoadProcess& op)
{
  display.SetStatus1("Loading...");
  char file[kPathSize];
  for (std::size_t i = 0; i < op.GetCount(); ++i) {
    const char* path = op.GetPath(i);
    display.SetStatus2(LFile::GetFileFromPath(file, path));
    LProcessResult result = LoadBothRates(display, path);
    if (result != kProcessDone)
      return result;
    if (display.IsToStop())
      return kProcessFailed;
  }
  return kProcessDone;
}
