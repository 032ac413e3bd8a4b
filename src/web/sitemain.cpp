// The information page: every live input and recording with its links.
#include <algorithm>
#include <ctime>

#include "audio/audioengine.h"
#include "base/formatter.h"
#include "net/ipaddress.h"
#include "net/localhost.h"
#include "settings/configkeys.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "web/sitepages.h"
#include "web/webletoutput.h"

namespace {

// The welcome text shows for this long after the page's first view.
constexpr time_t kWelcomeSeconds = 86400;

constexpr const char* kWelcome =
    "Welcome and thank you for installing Velorin.<p>Since this is your first time running the software please do "
    "the following:<ol><li>Connect the audio you want to stream to the line input of your computer (assuming you "
    "want live streaming).<br>Click on one of the links below to test if it works. If it does not appear to work or "
    "is too soft or loud, open the Windows Record Mixer to adjust the volume.<li>Add any recordings using Settings "
    "-&gt; Recordings if you want to stream fixed pre-recorded audio.<li>To make the connection available from the "
    "public internet use Settings -&gt; General -&gt; Connection.<br>Click on the \"Help about routing\" link if you "
    "don't know how to setup your router or firewall.</ol>That is it! Your server should be up and running in just "
    "minutes. If you have any problems see the help manual and support (from the Help menu).<p><hr><p>";

constexpr const char* kIntro =
    "This is just an information setup page for Velorin to provide the links. Ask your website developer to include "
    "these links in your website.<p><center><table>";

constexpr const char* kPrivateWarning =
    "<tr><td valign=top>Warning</td><td width=20></td><td><font color=#800000>Because your computer is on a private "
    "network<br> you must setup your router and enter the known host details<br> for the links to work properly "
    "from a public IP.</font></td></tr>";

constexpr const char* kTableEnd = "</table></center><p>";

// A source's block: its name in bold, one row per link, an empty row.  The
// name and both hosts come from outside (file names, settings, the Host
// header) and are HTML-encoded; the source in the query is URI-encoded.
constexpr const char* kBlockTitle = "<tr><td colspan=3><b>%H</b></td></td>";
constexpr const char* kBlockRow =
    "<tr><td>%s</td><td width=20></td><td><a href=\"http://%H/%s?src=%s%U&kbps=%d\">http://%H/%s?src=%s%U&kbps=%d"
    "</a></td></tr>";
constexpr const char* kBlockEnd = "<tr><td>&nbsp;</td></tr>";

struct LinkRow {
  const char* label;
  const char* page;
  bool broadband;
};

constexpr LinkRow kLiveRows[] = {
    {"Broadband Stream", "velorin.m3u", true},
    {"Dialup Stream", "velorin.m3u", false},
};

constexpr LinkRow kRecordingRows[] = {
    {"Broadband Stream", "velorin.m3u", true},   {"Dialup Stream", "velorin.m3u", false},
    {"Broadband Download", "velorin.mp3", true}, {"Dialup Download", "velorin.mp3", false},
    {"Broadband Podcast", "velorin.rss", true},  {"Dialup Podcast", "velorin.rss", false},
};

struct PageHosts {
  const char* request;  // in every href
  const char* shown;    // in every link's text
};

struct PageRates {
  int broadband;
  int dialUp;
};

// One source's block as one send.  prefix and source form the src value:
// "" and the input number, or "f" and the recording's name.
template <std::size_t N>
void SendBlock(LWebletForm& form, const char* title, const char* prefix, const char* source, const LinkRow (&rows)[N],
               const PageHosts& hosts, const PageRates& rates)
{
  LStringLongTemplate block;
  LStringLongTemplateAppender writer(block);
  tplwprintf(writer, kBlockTitle, title);
  for (const LinkRow& row : rows) {
    int kbps = row.broadband ? rates.broadband : rates.dialUp;
    tplwprintf(writer, kBlockRow, row.label, hosts.request, row.page, prefix, source, kbps, hosts.shown, row.page,
               prefix, source, kbps);
  }
  tplwprintf(writer, kBlockEnd);
  wfprintf(form, "%s", block.c_str());
}

char* GetPublicHost(char* out)
{
  if (LSettingGet(VLKeys::WebAccessHostKnown))
    LSettingGet(VLKeys::WebAccessHost, out);
  else
    LIPGetLocalHostIPPublic(out);
  return out;
}

// The first view stores its time; the welcome shows for a day after it.
bool IsWelcomeDue()
{
  const time_t now = std::time(nullptr);
  time_t first = LSettingGet(VLKeys::WebAccessFirstDisplay);
  if (first == 0) {
    first = now;
    LSettingSet(VLKeys::WebAccessFirstDisplay, static_cast<int>(now));
  }
  return first + kWelcomeSeconds > now;
}

}  // namespace

void VLWMain(LWebletForm& form)
{
  WLStandardHeader(form);
  char publicHost[kPathSize];
  GetPublicHost(publicHost);
  if (IsWelcomeDue())
    wfputs(form, kWelcome);
  wfputs(form, kIntro);

  const PageRates rates{std::clamp(LSettingGet(VLKeys::BroadBandKBPS), 24, 320),
                        std::clamp(LSettingGet(VLKeys::DialUpKBPS), 8, 56)};
  const PageHosts hosts{form.GetRequestHost(), publicHost};

  // As many as configured, even past the engine's eight inputs: those
  // links answer with an error when played.
  const int sources = LSettingGet(VLKeys::LiveSources);
  for (long long n = 1; n <= sources; ++n) {
    char name[kPathSize];
    LAudioGetSourceDisplayName(static_cast<int>(n), name);
    char number[16];
    tsprintf(number, "%d", static_cast<int>(n));
    SendBlock(form, name, "", number, kLiveRows, hosts, rates);
  }

  char name[kPathSize];
  for (LRecordingsIterator it; it; it.Next())
    SendBlock(form, it.GetName(name), "f", name, kRecordingRows, hosts, rates);

  if (!LIPAddress(publicHost).IsPublic())
    wfputs(form, kPrivateWarning);
  wfputs(form, kTableEnd);
  WLStandardFooter(form);
}
