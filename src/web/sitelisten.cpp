// The listening page: a browser cannot play the playlists that the
// information page links, so this page gives each stream and recording an
// audio player of its own, pointing at the URLs the playlists carry.
#include <algorithm>

#include "audio/audioengine.h"
#include "base/formatter.h"
#include "base/stringwriters.h"
#include "settings/configkeys.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "web/httpstatus.h"
#include "web/sitepages.h"
#include "web/webletoutput.h"

namespace {

constexpr const char* kPageStart = HTTP_200_OK HTTP_DYNAMIC HTTP_HTML
    "\r\n"
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Velorin - Listen</title>\n<style>\n"
    "body{font-family:sans-serif;background:#eee;margin:0;padding:1em}\n"
    "main{max-width:44em;margin:auto;background:#fff;padding:1em 2em}\n"
    "h1{color:#123759}h2{font-size:1.1em;border-bottom:1px solid #036;margin-top:1.5em}\n"
    ".row{display:flex;align-items:center;gap:1em;margin:.5em 0;flex-wrap:wrap}\n"
    ".row span{width:11em}audio{flex:1;min-width:15em}\n"
    "</style></head>\n<body><main><h1>Velorin</h1>\n";
constexpr const char* kPageEnd = "</main></body></html>\n";

// Names and the host come from outside (file names, settings, the Host
// header): HTML-encoded; the query values are URI-encoded.
constexpr const char* kTitle = "<section><h2>%H</h2>\n";
constexpr const char* kPlayer = "<div class=\"row\"><span>%s (%d kbit/s)</span><audio controls preload=\"none\" "
                                "src=\"http://%H/velorin.mp3?src=%U&amp;kbps=%d&amp;ref=%U\"></audio>"
                                "<a href=\"http://%H/velorin.m3u?src=%U&amp;kbps=%d\">Playlist</a>";
constexpr const char* kFeed = " <a href=\"http://%H/velorin.rss?src=%U&amp;kbps=%d\">Podcast feed</a>";
constexpr const char* kRowEnd = "</div>\n";
constexpr const char* kSectionEnd = "</section>\n";

struct Rate {
  const char* label;
  int kbps;
};

// One input's or recording's section as one send.
void SendSection(LWebletForm& form, const char* title, const char* src, const Rate (&rates)[2], bool feed)
{
  LStringLongTemplate section;
  LStringLongTemplateAppender out(section);
  const char* host = form.GetRequestHost();
  tplwprintf(out, kTitle, title);
  for (const Rate& rate : rates) {
    tplwprintf(out, kPlayer, rate.label, rate.kbps, host, src, rate.kbps, form.GetReferrer(), host, src, rate.kbps);
    if (feed)
      tplwprintf(out, kFeed, host, src, rate.kbps);
    tplwprintf(out, kRowEnd);
  }
  tplwprintf(out, kSectionEnd);
  wfputs(form, section.c_str());
}

}  // namespace

void VLWListen(LWebletForm& form)
{
  wfputs(form, kPageStart);
  // The rates and inputs of the information page.
  const Rate rates[2] = {{"Broadband", std::clamp(LSettingGet(VLKeys::BroadBandKBPS), 24, 320)},
                         {"Dialup", std::clamp(LSettingGet(VLKeys::DialUpKBPS), 8, 56)}};
  const int sources = LSettingGet(VLKeys::LiveSources);
  for (int n = 1; n <= sources; ++n) {
    char name[kPathSize];
    char src[16];
    LAudioGetSourceDisplayName(n, name);
    tsprintf(src, "%d", n);
    SendSection(form, name, src, rates, false);
  }
  char name[kPathSize];
  for (LRecordingsIterator it; it; it.Next()) {
    char src[kPathSize];
    tsprintf(src, "f%s", it.GetName(name));
    SendSection(form, name, src, rates, true);
  }
  wfputs(form, kPageEnd);
}
