// The site's pages over real loopback sockets: exact bytes with a raw
// client, downloads and revalidation with curl, hostile names and paths.
#include <ctime>
#include <sys/stat.h>

#include "net/localhost.h"
#include "sitetest.h"

using namespace sitetest;

namespace {

class SiteTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ResetSiteSettings();
    server_ = std::make_unique<SiteServer>();
  }
  void TearDown() override { server_.reset(); }

  std::string Page(const std::string& headers = "Host: example:1085\r\n") { return server_->Get("/", headers); }
  std::string Curl(const std::string& args)
  {
    return Shell("curl -s --max-time 10 " + args + " 2>&1");
  }

  std::unique_ptr<SiteServer> server_;
};

// The main page between the frame's header and footer.
std::string PageContent(const std::string& page)
{
  EXPECT_EQ(page.rfind(kPageHeader, 0), 0u) << page;
  size_t footer = page.find(kFooterStart);
  EXPECT_NE(footer, std::string::npos);
  EXPECT_EQ(page.substr(page.size() - kFooterEnd.size()), kFooterEnd);
  return page.substr(kPageHeader.size(), footer - kPageHeader.size());
}

TEST_F(SiteTest, MainPageListsInputsAndRecordingsWithRequestHostLinks)
{
  LSettingSet(VLKeys::LiveSources, 2);
  LSettingSet(VLKeys::LiveName, 1, "Studio A");
  WriteFile(HighFolder() + "/My Show.mp3", "x");
  WriteFile(LowFolder() + "/Low Only.mp3", "x");  // the library is the High folder
  WriteFile(HighFolder() + "/notes.txt", "x");
  std::filesystem::create_directory(HighFolder() + "/folder.mp3");

  std::string expected = kIntro + LiveRow("Studio A", "example:1085", "203.0.113.7", 1, 56, 24) +
                         LiveRow("Velorin Live 2", "example:1085", "203.0.113.7", 2, 56, 24) +
                         RecordingRow("My Show", "My%20Show", "example:1085", "203.0.113.7", 56, 24) + kTableEnd;
  EXPECT_EQ(PageContent(Page()), expected);

  // A name ending in .MP3 is a recording too.
  WriteFile(HighFolder() + "/Loud.MP3", "x");
  EXPECT_NE(Page().find(RecordingRow("Loud", "Loud", "example:1085", "203.0.113.7", 56, 24)), std::string::npos);
}

TEST_F(SiteTest, MainPageRatesAreClampedAndSourcesUnlimited)
{
  LSettingSet(VLKeys::DialUpKBPS, 4);
  LSettingSet(VLKeys::BroadBandKBPS, 500);
  LSettingSet(VLKeys::LiveSources, 12);
  std::string page = Page();
  EXPECT_EQ(Count(page, "<tr><td colspan=3>"), 12u);
  EXPECT_NE(page.find(LiveRow("Velorin Live 12", "example:1085", "203.0.113.7", 12, 320, 8)), std::string::npos);

  LSettingSet(VLKeys::DialUpKBPS, 57);
  LSettingSet(VLKeys::BroadBandKBPS, 23);
  LSettingSet(VLKeys::LiveSources, 1);
  EXPECT_NE(Page().find(LiveRow("Velorin Live 1", "example:1085", "203.0.113.7", 1, 24, 56)), std::string::npos);

  for (int sources : {0, -3}) {
    LSettingSet(VLKeys::LiveSources, sources);
    EXPECT_EQ(PageContent(Page()), kIntro + kTableEnd);
  }
}

TEST_F(SiteTest, WelcomeShowsForOneDayAfterTheFirstView)
{
  LSettingSet(VLKeys::WebAccessFirstDisplay, 0);
  const time_t before = std::time(nullptr);
  EXPECT_EQ(PageContent(Page()).rfind(kWelcome + kIntro, 0), 0u);
  const int stored = LSettingGet(VLKeys::WebAccessFirstDisplay);
  EXPECT_GE(stored, before);
  EXPECT_LE(stored, std::time(nullptr));
  EXPECT_EQ(PageContent(Page()).rfind(kWelcome, 0), 0u);  // the second view too
  EXPECT_EQ(LSettingGet(VLKeys::WebAccessFirstDisplay), stored);

  LSettingSet(VLKeys::WebAccessFirstDisplay, static_cast<int>(std::time(nullptr) - 86400 + 60));
  EXPECT_EQ(PageContent(Page()).rfind(kWelcome, 0), 0u);
  LSettingSet(VLKeys::WebAccessFirstDisplay, static_cast<int>(std::time(nullptr) - 86401));
  EXPECT_EQ(PageContent(Page()).rfind(kIntro, 0), 0u);
}

TEST_F(SiteTest, PublicHostAndPrivateNetworkWarning)
{
  const std::string live = LiveRow("Velorin Live 1", "example:1085", "10.1.2.3", 1, 56, 24);
  LSettingSet(VLKeys::WebAccessHost, "10.1.2.3");
  EXPECT_EQ(PageContent(Page()), kIntro + live + kWarning + kTableEnd);
  LSettingSet(VLKeys::WebAccessHost, "localhost");  // 127.0.0.1 through the hosts file
  EXPECT_NE(Page().find(kWarning), std::string::npos);

  // Not known: the machine's own address, whatever Host says.
  LSettingSet(VLKeys::WebAccessHostKnown, false);
  char own[260];
  LIPGetLocalHostIPPublic(own);
  EXPECT_NE(Page().find(LiveRow("Velorin Live 1", "example:1085", own, 1, 56, 24)), std::string::npos);
  // No Host header: the links point at the machine as well.
  std::string page = Exchange(server_->Port(), "GET / HTTP/1.0\r\n\r\n");
  EXPECT_NE(page.find(LiveRow("Velorin Live 1", own, own, 1, 56, 24)), std::string::npos) << page;
}

TEST_F(SiteTest, HostileNamesAreEscapedOnThePage)
{
  const std::string name = "Tom & \"Jerry's\" <script>alert(1)<script>";
  WriteFile(HighFolder() + "/" + name + ".mp3", "x");
  LSettingSet(VLKeys::LiveName, 1, "<img src=x onerror=\"alert('&')\">");
  LSettingSet(VLKeys::WebAccessHost, "<b>host</b>");
  std::string page = Page("Host: e\"><script>x()</script>\r\n");
  EXPECT_EQ(page.find("<script>"), std::string::npos) << page;
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_EQ(page.find("<b>host"), std::string::npos);
  EXPECT_NE(page.find("<b>Tom &amp; &quot;Jerry's&quot; &lt;script&gt;alert(1)&lt;script&gt;</b>"),
            std::string::npos);
  EXPECT_NE(page.find("<b>&lt;img src=x onerror=&quot;alert('&amp;')&quot;&gt;</b>"), std::string::npos);
  EXPECT_NE(page.find("<a href=\"http://e&quot;&gt;&lt;script&gt;x()&lt;/script&gt;/velorin.mp3?src=fTom%20%26%20"
                      "%22Jerry%27s%22%20%3Cscript%3Ealert%281%29%3Cscript%3E&kbps=56\">http://&lt;b&gt;host&lt;/b&gt;"),
            std::string::npos);
}

TEST_F(SiteTest, M3UPlaylists)
{
  LSettingSet(VLKeys::LiveSources, 2);
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n#EXTINF:-1,";
  EXPECT_EQ(server_->Get("/velorin.m3u?src=2&kbps=24", "Host: example:1085\r\nUser-Agent: curl/7\r\n"),
            head + "Velorin Live 2\r\nhttp://example:1085/velorin.mp3?src=2&kbps=24&ref=\r\n");
  EXPECT_EQ(server_->Get("/velorin.m3u?src=fMy%20Show",
                         "Host: h\r\nReferer: http://radio.example/listen?a=1&b=two words\r\n"),
            head + "My Show\r\nhttp://h/velorin.mp3?src=fMy%20Show&kbps=64&ref=http%3A%2F%2Fradio.example%2F"
                   "listen%3Fa%3D1%26b%3Dtwo%20words\r\n");
  // Defaults; "windows" in lower case is not a Windows player.
  EXPECT_EQ(server_->Get("/velorin.m3u", "Host: h\r\nUser-Agent: windows\r\n"),
            head + "Velorin Live 1\r\nhttp://h/velorin.mp3?src=1&kbps=64&ref=\r\n");
  // A title cannot start a line of its own, nor a rate leave its URL.
  EXPECT_EQ(server_->Get("/velorin.m3u?src=fA%0D%0Ahttp://evil/&kbps=5%0D%0Ax", "Host: h\r\n"),
            head + "A  http://evil/\r\nhttp://h/velorin.mp3?src=fA%0D%0Ahttp%3A%2F%2Fevil%2F&kbps=5%0D%0Ax&ref=\r\n");
}

std::string ASX(const std::string& title, const std::string& host, int id, const std::string& link,
                const std::string& query)
{
  return "HTTP/1.1 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<ASX version = \"3.0\" BANNERBAR=\"fixed\">\r\n"
         "<TITLE>" + title + "</TITLE>\r\n<ENTRY>\r\n<TITLE>" + title + "</TITLE>\r\n<BANNER HREF = \"http://" + host +
         "/asxbanner.jpg?id=" + std::to_string(id) + "\">\r\n<moreinfo href = \"" + link +
         "\" />\r\n<abstract>Click here to go to " + link + "</abstract>\r\n</BANNER>\r\n<REF HREF = \"http://" +
         host + "/velorin.mp3?" + query + "\" />\r\n</ENTRY>\r\n</ASX>\r\n";
}

TEST_F(SiteTest, ASXPlaylistsForWindowsPlayersCarryTheBannerCounter)
{
  const std::string windows = "Host: example:1085\r\nUser-Agent: Mozilla/4.0 (compatible; Windows NT 5.1)\r\n";
  const int id = gVLBannerCounter.load();
  EXPECT_EQ(server_->Get("/velorin.m3u?src=1&kbps=56", windows),
            ASX("Velorin Live 1", "example:1085", id, "http://www.ostrel.com/velorin/", "src=1&kbps=56&ref="));

  // Every start raises the counter; Restart without a new port does not.
  server_->Server().Restart();
  server_->Server().Stop();
  server_->Server().Start();
  SiteServer::WaitForPort(server_->Port());
  LSettingSet(VLKeys::CustomASXBanner, true);
  LSettingSet(VLKeys::CustomASXBannerURL, "http://ads.example/?a=1&b=\"2\"");
  EXPECT_EQ(server_->Get("/velorin.m3u?src=f%3CA%3E%20%26%20'B'&kbps=%22%3E", windows + "Referer: r\r\n"),
            ASX("&lt;A&gt; &amp; &apos;B&apos;", "example:1085", id + 1, "http://ads.example/?a=1&amp;b=&quot;2&quot;",
                "src=f%3CA%3E%20%26%20%27B%27&kbps=%22%3E&ref=r"));
}

std::string Feed(const std::string& title, const std::string& host, const std::string& query,
                 const std::string& length = "0")
{
  return "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\n\r\n<?xml version=\"1.0\" ?>\r\n<rss "
         "version=\"2.0\">\r\n  <channel>\r\n      <title>" + title + "</title>\r\n      <link>http://" + host +
         "/velorin.rss</link>\r\n      <description>" + title + " Audio Subscription</description>\r\n      "
         "<ttl>60</ttl>\r\n      <generator>Velorin v. 1.01</generator>\r\n      <item>\r\n         <title>" + title +
         "</title>\r\n         <description>" + title + " Audio Subscription</description>\r\n         <enclosure "
         "url=\"http://" + host + "/velorin.mp3?" + query + "\" length=\"" + length +
         "\" type=\"audio/mpeg\" />\r\n      </item>\r\n  </channel>\r\n</rss>\r\n";
}

TEST_F(SiteTest, PodcastFeeds)
{
  bool closed = false;
  EXPECT_EQ(server_->Get("/velorin.rss?src=1", "Host: h\r\n", &closed), "");
  EXPECT_TRUE(closed);
  EXPECT_EQ(server_->Get("/velorin.rss"), "");
  EXPECT_EQ(server_->Get("/velorin.rss?src=fMy%20Show&kbps=56", "Host: h:1\r\nReferer: http://a/b\r\n"),
            Feed("My Show", "h:1", "src=fMy%20Show&amp;kbps=56&amp;ref=http%3A%2F%2Fa%2Fb"));

  // Hostile names, rates and hosts leave a well-formed feed whose title
  // reads back as the name (a control character as a space).
  std::string feed = Body(server_->Get("/velorin.rss?src=f%3C%2Ftitle%3E%20%26%20%22x%22%01'y'&kbps=%3C",
                                       "Host: h\"><x>\r\nReferer: <r>\r\n"));
  WriteFile("/tmp/feed.xml", feed);
  EXPECT_EQ(Shell("python3 -c 'import xml.etree.ElementTree as E; r=E.parse(\"/tmp/feed.xml\").getroot(); "
                  "print(r.find(\"channel/item/title\").text); "
                  "print(r.find(\"channel/item/enclosure\").get(\"url\"))'"),
            "</title> & \"x\" 'y'\nhttp://h\"><x>/velorin.mp3?src=f%3C%2Ftitle%3E%20%26%20%22x%22%01%27y%27"
            "&kbps=%3C&ref=%3Cr%3E\n")
      << feed;

  // A podcast client's parser reads the feed with no error, and the
  // enclosure's length is the size of the file at the feed's rate.
  WriteFile(HighFolder() + "/Show.mp3", std::string(5000, 'H'));
  WriteFile(LowFolder() + "/Show.mp3", std::string(3000, 'L'));
  for (const auto& [kbps, length] : {std::pair{"56", "5000"}, std::pair{"24", "3000"}}) {
    EXPECT_EQ(Shell("/usr/bin/python3 -c 'import feedparser; f=feedparser.parse(\"" +
                    server_->Url("/velorin.rss?src=fShow&kbps=") + kbps +
                    "\"); e=f.entries[0].enclosures[0]; print(int(f.bozo), e.length, e.href)' 2>&1"),
              std::string("0 ") + length + " http://127.0.0.1:" + std::to_string(server_->Port()) +
                  "/velorin.mp3?src=fShow&kbps=" + kbps + "&ref=\n");
  }
}

TEST_F(SiteTest, RecordingsComeFromTheRateFolderWithValidators)
{
  WriteFile(HighFolder() + "/Show.mp3", std::string(5000, 'H'));
  WriteFile(LowFolder() + "/Show.mp3", std::string(3000, 'L'));
  struct Case {
    int broadband;
    const char* query;
    char expected;
  };
  for (const Case& c : {Case{56, "&kbps=56", 'H'}, Case{56, "&kbps=55", 'L'}, Case{56, "", 'H'},
                        Case{500, "&kbps=320", 'L'}, Case{500, "&kbps=500", 'H'}}) {
    LSettingSet(VLKeys::BroadBandKBPS, c.broadband);
    std::string body = Curl("-o - '" + server_->Url("/velorin.mp3?src=fShow") + c.query + "'");
    EXPECT_TRUE(body == std::string(c.expected == 'H' ? 5000 : 3000, c.expected))
        << c.query << ": " << body.size() << " bytes of " << body.substr(0, 1);
  }
  LSettingSet(VLKeys::BroadBandKBPS, 56);
  std::string head = Curl("-D - -o /dev/null '" + server_->Url("/velorin.mp3?src=fShow&kbps=56") + "'");
  EXPECT_EQ(Header(head, "Content-Length"), "5000");
  EXPECT_EQ(Header(head, "Content-Type"), "audio/mpeg");
  std::string tag = Header(head, "ETag");
  struct stat st;
  ASSERT_EQ(stat((HighFolder() + "/Show.mp3").c_str(), &st), 0);
  EXPECT_EQ(tag, "\"" + std::to_string(st.st_mtime) + "-5000\"");
  EXPECT_EQ(server_->Get("/velorin.mp3?src=fShow&kbps=56", "Host: h\r\nIf-None-Match: " + tag + "\r\n"),
            "HTTP/1.1 304 Not Modified\r\n\r\n");
  EXPECT_EQ(Curl("-o /dev/null -w '%{http_code}' -H 'If-None-Match: " + tag + "' '" +
                 server_->Url("/velorin.mp3?src=fShow&kbps=55") + "'"),
            "200");  // the low file has its own tag

  EXPECT_EQ(server_->Get("/velorin.mp3?src=fGone"), kFile404);
  EXPECT_TRUE(LogShows("VLWAudio Serving file: Gone\r\n"));
  // Listed as Loud, so served as Loud.
  WriteFile(HighFolder() + "/Loud.MP3", "loud");
  EXPECT_EQ(Curl("-o - " + server_->Url("/velorin.mp3?src=fLoud")), "loud");
}

TEST_F(SiteTest, NoPathOutsideTheRecordingsFoldersIsServed)
{
  WriteFile(DataFolder() + "/secret.mp3", "secret");
  WriteFile(HighFolder() + "/Show.mp3", "show");
  for (const char* src : {"f..%2Fsecret", "f..%5Csecret", "f%2Fopt%2Fostrel%2Fvelorin%2Fetc%2Fsecret",
                          "f..%2F..%2F..%2F..%2F..%2Fetc%2Fpasswd"}) {
    bool closed = false;
    EXPECT_EQ(server_->Get(std::string("/velorin.mp3?src=") + src + "&kbps=56", "Host: h\r\n", &closed),
              kAudioHeader)
        << src;
    EXPECT_TRUE(closed);
  }
  EXPECT_TRUE(LogShows("Invalid file request ../secret\r\n"));
  EXPECT_TRUE(LogShows("Invalid file request ..\\secret\r\n"));
  EXPECT_EQ(server_->Get("/velorin.mp3?src=f..&kbps=56"), kFile404);

  // A name so long that its path would be cut must not reach the file the
  // cut path names.
  const size_t keep = 259 - (HighFolder().size() + 1);
  WriteFile(HighFolder() + "/" + std::string(keep, 'a'), "cut");
  EXPECT_EQ(server_->Get("/velorin.mp3?src=f" + std::string(keep + 4, 'a')), kFile404);

  // Names are logged on one line.
  server_->Get("/velorin.mp3?src=fa%0D%0A12:00:00%20forged");
  EXPECT_TRUE(LogShows("VLWAudio Serving file: a  12:00:00 forged\r\n"));
  EXPECT_EQ(ReadLog().find("\n12:00:00 forged"), std::string::npos);
}

TEST_F(SiteTest, BadLiveRequestsGetTheBareHeaderAndALogLine)
{
  bool closed = false;
  EXPECT_EQ(server_->Get("/velorin.mp3?src=1&kbps=56", "Host: h\r\n", &closed), kAudioHeader);
  EXPECT_TRUE(closed);  // no audio engine running
  EXPECT_TRUE(LogShows("Streaming Velorin Live 1 (56 kpbs)\r\n"));

  LAudioEngine engine;
  gpAudioEngine = &engine;
  for (const char* src : {"0", "9", "x", "-1", "", "99999999999"}) {
    const size_t before = Count(ReadLog(), "Error with streaming request\r\n");
    EXPECT_EQ(server_->Get(std::string("/velorin.mp3?src=") + src, "Host: h\r\n", &closed), kAudioHeader) << src;
    EXPECT_TRUE(closed);
    EXPECT_EQ(Count(ReadLog(), "Error with streaming request\r\n"), before + 1) << src;
  }
  EXPECT_TRUE(LogShows("Streaming Velorin Live 9 (64 kpbs)\r\n"));
  gpAudioEngine = nullptr;
}

TEST_F(SiteTest, BannerImage)
{
  EXPECT_EQ(server_->Get("/asxbanner.jpg?id=3"), kFile404);
  // The image shipped with the program, installed into the data folder.
  std::filesystem::copy_file(VELORIN_SOURCE_DIR "/resources/etc/101.jpg", DataFolder() + "/101.jpg");
  std::string shipped = Shell("cat " VELORIN_SOURCE_DIR "/resources/etc/101.jpg");
  ASSERT_EQ(shipped.substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(Curl("-o - " + server_->Url("/asxbanner.jpg?id=2")), shipped);
  EXPECT_EQ(Header(Curl("-D - -o /dev/null " + server_->Url("/asxbanner.jpg")), "Content-Type"), "image/jpeg");

  LSettingSet(VLKeys::CustomASXBanner, true);
  EXPECT_EQ(server_->Get("/asxbanner.jpg"), kFile404);  // no path set
  WriteFile("/tmp/own.jpg", "own");
  LSettingSet(VLKeys::CustomASXBannerPath, "/tmp/own.jpg");
  EXPECT_EQ(Curl("-o - " + server_->Url("/asxbanner.jpg")), "own");
}

TEST_F(SiteTest, RestartActsOnlyOnANewPortAndOtherPathsAreFiles)
{
  WriteFile(SessionFolder() + "/s.css", "body{}");
  EXPECT_EQ(Curl("-o - " + server_->Url("/s.css")), "body{}");

  const int id = gVLBannerCounter.load();
  const size_t restarts = Count(ReadLog(), "Restarting server\r\n");
  server_->Server().Restart();
  EXPECT_EQ(gVLBannerCounter.load(), id);
  EXPECT_EQ(Count(ReadLog(), "Restarting server\r\n"), restarts);
  EXPECT_EQ(server_->Get("/velorin.rss"), "");  // still serving

  const unsigned short old = server_->Port();
  const unsigned short port = FreePort();
  LWebletServer::SetWebletServerPort(port);
  server_->Server().Restart();
  EXPECT_EQ(server_->Server().GetStartedPort(), port);
  EXPECT_EQ(gVLBannerCounter.load(), id + 1);
  EXPECT_EQ(Count(ReadLog(), "Restarting server\r\n"), restarts + 1);
  SiteServer::WaitForPort(port);
  EXPECT_EQ(Exchange(port, "GET /s.css HTTP/1.0\r\n\r\n").find("body{}") != std::string::npos, true);
  EXPECT_FALSE(Client(old).Connected());
  server_->Server().Stop();
  EXPECT_FALSE(Client(port).Connected());
}

// Podcast apps and browsers' audio elements fetch with byte ranges: curl
// asks for each form, for a recording and for a static file alike, and
// gets exactly those bytes of the file.
TEST_F(SiteTest, ByteRangesWithCurl)
{
  std::string bytes(5000, 0);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i % 251);
  WriteFile(HighFolder() + "/Show.mp3", bytes);
  WriteFile(SessionFolder() + "/clip.mp3", bytes);
  const std::string tag = Header(Curl("-D - -o /dev/null '" + server_->Url("/clip.mp3") + "'"), "ETag");
  struct Case {
    std::string args;
    std::string status;
    long first;  // the bytes expected, -1 for none
    long last;
  };
  const Case cases[] = {
      {"", "200", 0, 4999},
      {"-r 100-199", "206", 100, 199},
      {"-r 4990-", "206", 4990, 4999},
      {"-r -300", "206", 4700, 4999},
      {"-r -9000", "206", 0, 4999},
      {"-r 4000-9999", "206", 4000, 4999},
      {"-r 4999-4999", "206", 4999, 4999},
      {"-r 5000-", "416", -1, -1},
      {"-r 0-1,5-6", "200", 0, 4999},
      {"-r 100-199 -H 'If-Range: " + tag + "'", "206", 100, 199},
      {"-r 100-199 -H 'If-Range: \"1-5000\"'", "200", 0, 4999},
      {"-H 'range: bytes=100-199'", "206", 100, 199},
  };
  for (const std::string path : {"/velorin.mp3?src=fShow&kbps=56", "/clip.mp3"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(path + " " + c.args);
      EXPECT_EQ(Curl(c.args + " -D /tmp/head -o /tmp/body -w '%{http_code}' '" + server_->Url(path) + "'"), c.status);
      const std::string head = Shell("cat /tmp/head");
      const std::string body = Shell("cat /tmp/body");
      if (c.first < 0) {
        EXPECT_EQ(Header(head, "Content-Range"), "bytes */5000");
        EXPECT_EQ(body, "");
        continue;
      }
      EXPECT_TRUE(body == bytes.substr(c.first, c.last - c.first + 1)) << body.size() << " bytes";
      EXPECT_EQ(Header(head, "Accept-Ranges"), "bytes");
      EXPECT_EQ(Header(head, "ETag"), tag);
      if (c.status == "206") {
        EXPECT_EQ(Header(head, "Content-Range"),
                  "bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + "/5000");
      }
    }
  }
  // Live streams have no length: a range is ignored.
  EXPECT_EQ(server_->Get("/velorin.mp3?src=1", "Host: h\r\nRange: bytes=0-9\r\n"), kAudioHeader);
}

} // namespace
