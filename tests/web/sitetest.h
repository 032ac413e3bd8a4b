#pragma once
// The site under test on a free port with known settings, and the texts clients see, written out once here.
#include <cstdarg>
#include <filesystem>
#include <string>
#include <thread>

#include "audio/audioengine.h"
#include "base/file.h"
#include "common/logtext.h"
#include "settings/configkeys.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "web/server.h"
#include "webtestserver.h"

namespace sitetest {

using namespace webtest;

inline const std::string kPageHeader =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-cache\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
    "<html><head><title>Velorin</title><link href=s.css type=text/css rel=stylesheet><link href=print.css "
    "type=text/css media=print rel=stylesheet>"
    "</head><body style=\"background-color:#eee;\" ><br/><table class=tblMain align=center border=0 valign=top "
    "cellpadding=20 cellspacing=0 style=\"width: 96%; height: 96%; vertical-align: top; background-color: White\">"
    "<tr valign=top style=\"height: 25px\"><td><table border=0 width=100% cellpadding=0 cellspacing=0>"
    "<tr><td class=title>Velorin</td><td align=right valign=bottom>"
    "</td></tr><tr><td colspan=2><hr style=\"height:1px; color:#036\"></td></tr><tr><td colspan=2 height=5></td>"
    "</tr></table></td></tr><tr valign=top><td>";
inline const std::string kFooterStart =
    "<tr valign=bottom><td><table border=0 width=100% cellpadding=0 cellspacing=0 class=noprint><tr><td "
    "bgcolor=#123759 height=40><table border=0 width=100% cellpadding=0 cellspacing=0><tr><td width=10>&nbsp;</td>"
    "<td valign=middle><font color=#ffffff><b>Velorin v 1.01</b></font></td><td align=right><font color=#ffffff>";
inline const std::string kFooterEnd =
    "<td width=10>&nbsp;</td></tr></table></td></tr></table></td></tr></table></body></html>";

inline const std::string kIntro =
    "This is just an information setup page for Velorin to provide the links. Ask your website developer to include "
    "these links in your website.<p><center><table>";
inline const std::string kWarning =
    "<tr><td valign=top>Warning</td><td width=20></td><td><font color=#800000>Because your computer is on a private "
    "network<br> you must setup your router and enter the known host details<br> for the links to work properly "
    "from a public IP.</font></td></tr>";
inline const std::string kTableEnd = "</table></center><p>";

inline const char* const kLiveRow =
    "<tr><td colspan=3><b>%s</b></td></td><tr><td>Broadband Stream</td><td width=20></td><td><a "
    "href=\"http://%s/velorin.m3u?src=%d&kbps=%d\">http://%s/velorin.m3u?src=%d&kbps=%d</a></td></tr><tr><td>Dialup "
    "Stream</td><td width=20></td><td><a href=\"http://%s/velorin.m3u?src=%d&kbps=%d\">http://%s/"
    "velorin.m3u?src=%d&kbps=%d</a></td></tr><tr><td>&nbsp;</td></tr>";

// With %U written as %s: the caller passes the name URI-encoded.
inline const char* const kRecordingRow =
    "<tr><td colspan=3><b>%s</b></td></td><tr><td>Broadband Stream</td><td width=20></td><td><a "
    "href=\"http://%s/velorin.m3u?src=f%s&kbps=%d\">http://%s/velorin.m3u?src=f%s&kbps=%d</a></td></tr><tr><td>Dialup "
    "Stream</td><td width=20></td><td><a href=\"http://%s/velorin.m3u?src=f%s&kbps=%d\">http://%s/"
    "velorin.m3u?src=f%s&kbps=%d</a></td></tr><tr><td>Broadband Download</td><td width=20></td><td><a "
    "href=\"http://%s/velorin.mp3?src=f%s&kbps=%d\">http://%s/velorin.mp3?src=f%s&kbps=%d</a></td></tr><tr><td>Dialup "
    "Download</td><td width=20></td><td><a href=\"http://%s/velorin.mp3?src=f%s&kbps=%d\">http://%s/"
    "velorin.mp3?src=f%s&kbps=%d</a></td></tr><tr><td>Broadband Podcast</td><td width=20></td><td><a "
    "href=\"http://%s/velorin.rss?src=f%s&kbps=%d\">http://%s/velorin.rss?src=f%s&kbps=%d</a></td></tr><tr><td>Dialup "
    "Podcast</td><td width=20></td><td><a href=\"http://%s/velorin.rss?src=f%s&kbps=%d\">http://%s/"
    "velorin.rss?src=f%s&kbps=%d</a></td></tr><tr><td>&nbsp;</td></tr>";

inline const std::string kAudioHeader = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
inline const std::string kFile404 = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";

inline std::string Format(const char* format, ...)
{
  char buffer[16384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

inline std::string LiveRow(const std::string& name, const std::string& host, const std::string& shown, int n, int broad,
                           int dial)
{
  const char *h = host.c_str(), *s = shown.c_str();
  return Format(kLiveRow, name.c_str(), h, n, broad, s, n, broad, h, n, dial, s, n, dial);
}

inline std::string RecordingRow(const std::string& title, const std::string& encoded, const std::string& host,
                                const std::string& shown, int broad, int dial)
{
  const char *h = host.c_str(), *s = shown.c_str(), *e = encoded.c_str();
  return Format(kRecordingRow, title.c_str(), h, e, broad, s, e, broad, h, e, dial, s, e, dial, h, e, broad, s, e,
                broad, h, e, dial, s, e, dial, h, e, broad, s, e, broad, h, e, dial, s, e, dial);
}

inline std::string Folder(char* (*get)(char*))
{
  return get(std::string(260, 0).data());
}
inline std::string HighFolder()
{
  return Folder(LRecordingsGetHighFolder);
}
inline std::string LowFolder()
{
  return Folder(LRecordingsGetLowFolder);
}
inline std::string DataFolder()
{
  return Folder(LFile::GetSharedDataFolder);
}

// Waits (generously) for text to appear in the log.
inline bool LogShows(const std::string& text)
{
  for (uint32_t start = GetTickCount(); nettest::Since(start) < 10000; usleep(20000))
    if (ReadLogText().find(text) != std::string::npos)
      return true;
  return false;
}

inline size_t Count(const std::string& text, const std::string& what)
{
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

inline void ResetSiteSettings()
{
  LSettingSet(VLKeys::LiveSources, 1);
  for (int n = 1; n <= 12; ++n)
    LSettingSet(VLKeys::LiveName, n, "");
  LSettingSet(VLKeys::WebAccessHostKnown, true);
  LSettingSet(VLKeys::WebAccessHost, "203.0.113.7");
  // Viewed two days ago: no welcome text.
  LSettingSet(VLKeys::WebAccessFirstDisplay, static_cast<int>(std::time(nullptr) - 2 * 86400));
  LSettingSet(VLKeys::DialUpKBPS, 24);
  LSettingSet(VLKeys::BroadBandKBPS, 56);
  LSettingSet(VLKeys::CustomASXBanner, false);
  LSettingSet(VLKeys::CustomASXBannerURL, "");
  LSettingSet(VLKeys::CustomASXBannerPath, "");
  LSettingSet(VLKeys::WebAccessPublicStatus, false);
  LSettingSet(VLKeys::WebServerMaxWaiting, VLKeys::WebServerMaxWaiting.def);
  LSettingSet(VLKeys::WebServerRequestHeadMs, VLKeys::WebServerRequestHeadMs.def);
  std::error_code ignored;
  for (const std::string& folder : {HighFolder(), LowFolder()})
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
      std::filesystem::remove_all(entry.path(), ignored);
}

class SiteServer {
public:
  SiteServer() : port_(FreePort())
  {
    LWebletServer::SetWebletServerPort(port_);
    server_.Start();
    WaitForPort(port_);
  }
  ~SiteServer() { server_.Stop(); }
  unsigned short Port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  LVLServer& Server() { return server_; }
  // One GET with the given header lines; everything the server sent until it closed.
  std::string Get(const std::string& target, const std::string& headers = "Host: example:1085\r\n",
                  bool* closed = nullptr) const
  {
    return Exchange(port_, "GET " + target + " HTTP/1.1\r\n" + headers + "\r\n", closed);
  }

private:
  unsigned short port_;
  LVLServer server_;
};

}  // namespace sitetest
