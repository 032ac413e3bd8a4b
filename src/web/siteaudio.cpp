// MP3 answers: a recording's file from the rate folders, a live input's
// stream from its encoder queue, and the ASX banner image.
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

#include "audio/audioengine.h"
#include "audio/audiolistener.h"
#include "base/file.h"
#include "base/stringtools.h"
#include "base/ticks.h"
#include "net/processsocket.h"
#include "settings/configkeys.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "web/sitepages.h"
#include "web/sitetext.h"
#include "web/webletfile.h"
#include "web/webletoutput.h"

namespace {

constexpr const char* kAudioHeader = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
constexpr const char* kDefaultBanner = "101.jpg";
// A listener that has been sent nothing for this long is checked, every
// kHangUpCheckMs, for having hung up.
constexpr unsigned int kIdleBeforeHangUpCheckMs = 1000;
constexpr unsigned int kHangUpCheckMs = 200;

// What stops a live stream: the connection thread's stop request (the
// server stopping), or the listener hanging up.  A send notices a listener
// that has gone, but while the ring is idle (an encoder that stalled or
// never started) nothing is sent, and the connection's thread would wait
// for the server to stop.  Only an idle stream is checked, because a
// client that half-closes after its request looks the same as one that
// has gone.  Used on the connection thread only.
class LListenerProcess {
public:
  LListenerProcess(LThread& thread, LIPSocketTCPRef socket) : thread_(thread), socket_(socket) {}

  bool IsToStop()
  {
    if (thread_.IsToStop())
      return true;
    const unsigned int now = GetTickCount();
    if (now - lastSend_ < kIdleBeforeHangUpCheckMs || now - lastCheck_ < kHangUpCheckMs)
      return false;
    lastCheck_ = now;
    return HasHungUp();
  }

  void Sent() { lastSend_ = GetTickCount(); }

private:
  // The peer's end of the stream: an orderly close or a reset.  Bytes the
  // listener sends are left where they are.
  bool HasHungUp() const
  {
    char c;
    ssize_t got = recv(socket_.GetSocket(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  }

  LThread& thread_;
  LIPSocketTCPRef socket_;
  unsigned int lastSend_ = GetTickCount();
  unsigned int lastCheck_ = lastSend_;
};

bool HasPathSeparator(const char* name)
{
  return std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr;
}

void ServeRecording(LWebletForm& form, const char* name, int kbps)
{
  char logName[kPathSize];
  LSiteLineText(logName, name);
  // The name is a file name inside a rate folder; one with a separator
  // could reach any file.
  if (HasPathSeparator(name)) {
    LOGERROR("Invalid file request ", logName);
    wfputs(form, kAudioHeader);
    return;
  }
  char folder[kPathSize];
  if (kbps >= LSettingGet(VLKeys::BroadBandKBPS))
    LRecordingsGetHighFolder(folder);
  else
    LRecordingsGetLowFolder(folder);
  LOG("VLWAudio Serving file: ", logName);
  char path[kPathSize];
  if (!LRecordingsFindFile(path, folder, name)) {
    LWebletAnswerFileNotFound(form.thread, form.socket);
    return;
  }
  // Players that cache a download revalidate it with the tag.
  LWebletAnswerFile(form.thread, form.socket, path, form.GetHTTPHeader("If-None-Match"),
                    form.GetHTTPHeader("If-Modified-Since"));
}

void StreamLive(LWebletForm& form, const char* src, int kbps)
{
  wfputs(form, kAudioHeader);
  const int number = ttoi(src);
  char name[kPathSize];
  char logName[kPathSize];
  LAudioGetSourceDisplayName(number, name);
  LSiteLineText(logName, name);
  LOGF("Streaming %s (%d kpbs)", logName, kbps);

  LAudioEngine* engine = gpAudioEngine.load();
  LAudioQueue* queue = engine != nullptr && number >= 1 ? engine->GetAudioQueue(number - 1, kbps) : nullptr;
  if (queue == nullptr) {
    LOG("Error with streaming request");
    return;
  }
  LListenerProcess process(form.thread, form.socket);
  LAudioQueueFollow(process, *queue, [&form, &process](const void* data, unsigned int size) {
    LProcessResult sent = ProcessSend(form.thread, form.socket, data, size, kListenerSendTimeoutMs);
    process.Sent();
    return sent;
  });
  LOGF("Streaming %s stopped", logName);
}

} // namespace

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
