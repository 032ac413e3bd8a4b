// Playlists (M3U, or ASX for Windows players) and podcast feeds: one entry
// each, pointing at velorin.mp3 with the request's src, kbps and referrer.
#include "audio/audioengine.h"
#include "base/file.h"
#include "base/formatter.h"
#include "base/stringtools.h"
#include "net/processsocket.h"
#include "settings/configkeys.h"
#include "settings/settings.h"
#include "web/httpstatus.h"
#include "web/server.h"
#include "web/sitepages.h"
#include "web/siterecording.h"
#include "web/sitetext.h"
#include "web/webletcache.h"
#include "web/webletoutput.h"

namespace {

constexpr int kFeedHeaderSendMs = 5000;

// The src value, the requested rate and the referrer are passed on
// URI-encoded, so nothing a client sends can leave the URL they sit in.
constexpr const char* kM3U = HTTP_200_OK "Content-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n#EXTINF:-1,%s\r\n"
                                         "http://%s/velorin.mp3?src=%U&kbps=%U&ref=%U\r\n";

constexpr const char* kASX = HTTP_200_OK
    "Content-Type: video/x-ms-asf\r\n\r\n<ASX version = \"3.0\" BANNERBAR=\"fixed\">\r\n"
    "<TITLE>%s</TITLE>\r\n<ENTRY>\r\n<TITLE>%s</TITLE>\r\n<BANNER HREF = \"http://%s/asxbanner.jpg?id=%d\">\r\n"
    "<moreinfo href = \"%s\" />\r\n<abstract>Click here to go to %s</abstract>\r\n</BANNER>\r\n"
    "<REF HREF = \"http://%s/velorin.mp3?src=%U&kbps=%U&ref=%U\" />\r\n</ENTRY>\r\n</ASX>\r\n";

constexpr const char* kFeedHeader = HTTP_200_OK "Content-Type: %s\r\n\r\n";
constexpr const char* kFeedType = "application/rss+xml";
constexpr const char* kFeed =
    "<?xml version=\"1.0\" ?>\r\n<rss version=\"2.0\">\r\n  <channel>\r\n      <title>%s</title>\r\n"
    "      <link>http://%s/velorin.rss</link>\r\n      <description>%s Audio Subscription</description>\r\n"
    "      <ttl>60</ttl>\r\n      <generator>Velorin v. 1.01</generator>\r\n      <item>\r\n"
    "         <title>%s</title>\r\n         <description>%s Audio Subscription</description>\r\n"
    "         <enclosure url=\"http://%s/velorin.mp3?src=%U&amp;kbps=%U&amp;ref=%U\" length=\"%s\""
    " type=\"audio/mpeg\" />\r\n"
    "      </item>\r\n  </channel>\r\n</rss>\r\n";

bool IsRecording(const char* src)
{
  return src[0] == 'f';
}

// The live input's name for the number in src, or the recording's name
// after the "f"; into out (260 bytes).
char* GetSourceTitle(char* out, const char* src)
{
  if (IsRecording(src))
    tlstrcpy(out, src + 1);
  else
    LAudioGetSourceDisplayName(ttoi(src), out);
  return out;
}

// The player's banner links here: the configured page, or the maker's.
char* GetBannerLink(char* out)
{
  if (LSettingGet(VLKeys::CustomASXBanner))
    LSettingGet(VLKeys::CustomASXBannerURL, out);
  else
    tlstrcpy(out, VLKeys::CustomASXBannerURLPage.def);
  return out;
}

void SendM3U(LWebletForm& form, const char* title, const char* src, const char* kbps)
{
  char line[kPathSize];
  char host[kPathSize];
  wfprintf(form, kM3U, LSiteLineText(line, title), LSiteLineText(host, form.GetRequestHost()), src, kbps,
           form.GetReferrer());
}

void SendASX(LWebletForm& form, const char* title, const char* src, const char* kbps)
{
  char link[kPathSize];
  LStringLongTemplate xmlTitle, xmlHost, xmlLink;
  LSiteXMLEncode(xmlTitle, title);
  LSiteXMLEncode(xmlHost, form.GetRequestHost());
  LSiteXMLEncode(xmlLink, GetBannerLink(link));
  wfprintf(form, kASX, xmlTitle.c_str(), xmlTitle.c_str(), xmlHost.c_str(),
           gVLBannerCounter.load(std::memory_order_relaxed), xmlLink.c_str(), xmlLink.c_str(), xmlHost.c_str(), src,
           kbps, form.GetReferrer());
}

}  // namespace

void VLWStream(LWebletForm& form)
{
  const char* src = form.GetParm("src", "1");
  const char* kbps = form.GetParm("kbps", "64");
  char title[kPathSize];
  GetSourceTitle(title, src);
  if (tstrstr(form.GetUserAgent(), "Windows") != nullptr)
    SendASX(form, title, src, kbps);
  else
    SendM3U(form, title, src, kbps);
}

void VLWRSS(LWebletForm& form)
{
  const char* src = form.GetParm("src", "1");
  if (!IsRecording(src))
    return;
  const char* kbps = form.GetParm("kbps", "64");
  char title[kPathSize];
  LStringLongTemplate xmlTitle, xmlHost;
  LSiteXMLEncode(xmlTitle, GetSourceTitle(title, src));
  LSiteXMLEncode(xmlHost, form.GetRequestHost());

  // RSS 2.0 requires the enclosure's size: that of the file velorin.mp3
  // serves for the same query (0 when there is none).
  char path[kPathSize];
  char length[32];
  const bool found = LSiteFindRecordingFile(path, src + 1, form.GetInt("kbps", 64));
  LWebletFormatDecimal(length, found ? static_cast<int64_t>(LFile::GetFileSizeBytes(path)) : 0);

  char header[kPathSize];
  tsprintf(header, kFeedHeader, kFeedType);
  ProcessSendString(form.thread, form.socket, header, kFeedHeaderSendMs);
  wfprintf(form, kFeed, xmlTitle.c_str(), xmlHost.c_str(), xmlTitle.c_str(), xmlTitle.c_str(), xmlTitle.c_str(),
           xmlHost.c_str(), src, kbps, form.GetReferrer(), length);
}
