// MP3 answers: a recording's file from the rate folders, a live input's
// stream from its encoder queue, and the ASX banner image.
#include <memory>

#include "audio/audioengine.h"
#include "audio/audiofanout.h"
#include "audio/audiolistensocket.h"
#include "audio/icyframer.h"
#include "base/file.h"
#include "base/formatter.h"
#include "base/stringtools.h"
#include "settings/configkeys.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "web/httpstatus.h"
#include "web/sitepages.h"
#include "web/siterecording.h"
#include "web/sitestats.h"
#include "web/sitetext.h"
#include "web/webletfile.h"
#include "web/webletoutput.h"

namespace {

constexpr const char* kAudioHeader = HTTP_200_OK HTTP_MP3 "\r\n";
constexpr const char* kIcyHeader = HTTP_200_OK HTTP_MP3 "icy-name: %s\r\nicy-br: %d\r\nicy-metaint: %d\r\n\r\n";
constexpr const char* kDefaultBanner = "101.jpg";

void ServeRecording(LWebletForm& form, const char* name, int kbps)
{
  char logName[kPathSize];
  LSiteLineText(logName, name);
  // The name is a file name inside a rate folder; one with a separator
  // could reach any file.
  if (!LRecordingsIsValidName(name)) {
    LOGERROR("Invalid file request ", logName);
    wfputs(form, kAudioHeader);
    return;
  }
  LOG("VLWAudio Serving file: ", logName);
  char path[kPathSize];
  if (!LSiteFindRecordingFile(path, name, kbps)) {
    LWebletAnswerFileNotFound(form.thread, form.socket);
    return;
  }
  // Players that cache a download revalidate it with the tag.  A ranged
  // request counts as a download only when it starts at the first byte:
  // players seeking or resuming ask for later ranges of the same copy.
  uint64_t first = 1;
  if (LWebletAnswerFile(form.thread, form.socket, path, form.GetFileConditions(), &first) == LWebletFileResult::Sent &&
      first == 0)
    LSiteCountDownload(name);
}

// A player that asks for in-stream titles ("Icy-MetaData: 1") gets the
// station's name and rate in the header and a title block every
// kIcyMetaInterval audio bytes; any other gets the bare audio header.
bool WantsIcy(const LWebletForm& form)
{
  return tstrcmp(form.GetHTTPHeaderAnyCase("Icy-MetaData"), "1") == 0;
}

void SendIcyHeader(LWebletForm& form, const char* name, int kbps)
{
  char header[kPathSize * 2];
  tsprintf(header, kIcyHeader, name, kbps, kIcyMetaInterval);
  wfputs(form, header);
}

void StreamLive(LWebletForm& form, const char* src, int kbps)
{
  const int number = ttoi(src);
  char name[kPathSize];
  char logName[kPathSize];
  LAudioGetSourceDisplayName(number, name);
  LSiteLineText(logName, name);
  LAudioEngine* engine = gpAudioEngine.load();
  LAudioQueue* queue = engine != nullptr && number >= 1 ? engine->GetAudioQueue(number - 1, kbps) : nullptr;
  const bool icy = WantsIcy(form);
  if (icy)
    SendIcyHeader(form, logName, queue != nullptr ? queue->GetBitRate() : kbps);
  else
    wfputs(form, kAudioHeader);
  LOGF("Streaming %s (%d kpbs)", logName, kbps);
  if (queue == nullptr) {
    LOG("Error with streaming request");
    return;
  }
  // Once its start burst is out the listener belongs to the queue's
  // fan-out, which logs the end of its stream.  A player that asked for
  // titles has its framer go with it.
  std::unique_ptr<LIcyFramer> framer;
  if (icy)
    framer = std::make_unique<LIcyFramer>(logName);
  LAudioListener listener(*queue);
  listener.SetIcyFramer(framer.get());
  if (ProcessSendAudioBurst(form.thread, form.socket, listener) == kProcessDone &&
      queue->GetFanout().Adopt(LUniqueFD(form.TakeSocket()), listener, logName, std::move(framer)))
    return;
  LOGF("Streaming %s stopped", logName);
}

}  // namespace

void VLWAudio(LWebletForm& form)
{
  const int kbps = form.GetInt("kbps", 64);
  const char* src = form.GetParm("src", "1");
  if (src[0] == 'f')
    ServeRecording(form, src + 1, kbps);
  else
    StreamLive(form, src, kbps);
}

void VLWASXBanner(LWebletForm& form)
{
  char path[kPathSize];
  if (LSettingGet(VLKeys::CustomASXBanner)) {
    LSettingGet(VLKeys::CustomASXBannerPath, path);
  } else {
    char folder[kPathSize];
    LFile::MakeFilePath(path, LFile::GetSharedDataFolder(folder), kDefaultBanner);
  }
  form.ServeFile(path);
}
