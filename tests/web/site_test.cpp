// The site's pages over real sockets: exact bytes, downloads with curl, hostile names and paths.
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
    LSettingSet(VLKeys::LiveName, 1, "Studio A");
    server_ = std::make_unique<SiteServer>();
  }
  std::string Page(const std::string& headers = "Host: example:1085\r\n") { return server_->Get("/", headers); }
  std::string Content(const std::string& headers = "Host: example:1085\r\n")
  {
    const std::string page = Page(headers);
    EXPECT_EQ(page.rfind(kPageHeader, 0), 0u) << page;
    EXPECT_EQ(page.substr(page.size() - std::min(page.size(), kFooterEnd.size())), kFooterEnd);
    const size_t footer = std::min(page.find(kFooterStart), page.size());
    return page.substr(std::min(kPageHeader.size(), footer), footer - std::min(kPageHeader.size(), footer));
  }
  std::string Curl(const std::string& args) { return CommandOutput("curl -s --max-time 10 " + args + " 2>&1"); }
  std::string Live(int n, const std::string& shown = "203.0.113.7", int broad = 56, int dial = 24)
  {
    return LiveRow(n == 1 ? "Studio A" : "Velorin Live " + std::to_string(n), "example:1085", shown, n, broad, dial);
  }
  std::unique_ptr<SiteServer> server_;
};

TEST_F(SiteTest, MainPageListsInputsAndRecordingsWithRatesAndHosts)
{
  LSettingSet(VLKeys::LiveSources, 2);
  WriteWhole(HighFolder() + "/My Show.mp3", "x");
  WriteWhole(LowFolder() + "/Low Only.mp3", "x");  // the library is the High folder
  WriteWhole(HighFolder() + "/notes.txt", "x");
  std::filesystem::create_directory(HighFolder() + "/folder.mp3");
  EXPECT_EQ(Content(), kIntro + Live(1) + Live(2) +
                           RecordingRow("My Show", "My%20Show", "example:1085", "203.0.113.7", 56, 24) + kTableEnd);
  WriteWhole(HighFolder() + "/Loud.MP3", "x");  // a recording too, listed as Loud
  EXPECT_NE(Page().find(RecordingRow("Loud", "Loud", "example:1085", "203.0.113.7", 56, 24)), std::string::npos);
  // Rates are clamped to 8..320; sources are not limited.
  LSettingSet(VLKeys::LiveSources, 12);
  LSettingSet(VLKeys::DialUpKBPS, 4);
  LSettingSet(VLKeys::BroadBandKBPS, 500);
  EXPECT_NE(Content().find(Live(12, "203.0.113.7", 320, 8)), std::string::npos);
  LSettingSet(VLKeys::LiveSources, 0);
  EXPECT_EQ(Content().find("Studio A"), std::string::npos);
  ResetSiteSettings();
  LSettingSet(VLKeys::LiveName, 1, "Studio A");
  LSettingSet(VLKeys::WebAccessHost, "10.1.2.3");
  EXPECT_EQ(Content(), kIntro + Live(1, "10.1.2.3") + kWarning + kTableEnd);
  LSettingSet(VLKeys::WebAccessHost, "localhost");  // 127.0.0.1 through the hosts file
  EXPECT_NE(Page().find(kWarning), std::string::npos);
  // Not known: the machine's own address, whatever Host says.
  LSettingSet(VLKeys::WebAccessHostKnown, false);
  char own[260];
  LIPGetLocalHostIPPublic(own);
  EXPECT_NE(Page().find(Live(1, own)), std::string::npos);
}

TEST_F(SiteTest, HostileNamesAreEscapedOnThePageAndInPlaylists)
{
  WriteWhole(HighFolder() + "/Tom & \"Jerry's\" <script>alert(1)<script>.mp3", "x");
  LSettingSet(VLKeys::LiveName, 1, "<img src=x onerror=\"alert('&')\">");
  LSettingSet(VLKeys::WebAccessHost, "<b>host</b>");
  const std::string page = Page("Host: e\"><script>x()</script>\r\n");
  for (const char* raw : {"<script>", "<img", "<b>host"})
    EXPECT_EQ(page.find(raw), std::string::npos) << raw;
  for (const char* escaped :
       {"<b>Tom &amp; &quot;Jerry's&quot; &lt;script&gt;alert(1)&lt;script&gt;</b>",
        "<b>&lt;img src=x onerror=&quot;alert('&amp;')&quot;&gt;</b>",
        "<a href=\"http://e&quot;&gt;&lt;script&gt;x()&lt;/script&gt;/velorin.mp3?src=fTom%20%26%20"
        "%22Jerry%27s%22%20%3Cscript%3Ealert%281%29%3Cscript%3E&kbps=56\">http://&lt;b&gt;host"})
    EXPECT_NE(page.find(escaped), std::string::npos) << escaped;

  LSettingSet(VLKeys::LiveSources, 2);
  LSettingSet(VLKeys::LiveName, 1, "");
  const std::string m3u = "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n#EXTINF:-1,";
  const std::string windows = "Host: example:1085\r\nUser-Agent: Mozilla/4.0 (compatible; Windows NT 5.1)\r\n";
  auto asx = [](const std::string& title, int id, const std::string& link, const std::string& query) {
    return "HTTP/1.1 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<ASX version = \"3.0\" BANNERBAR=\"fixed\">\r\n"
           "<TITLE>" +
           title + "</TITLE>\r\n<ENTRY>\r\n<TITLE>" + title +
           "</TITLE>\r\n<BANNER HREF = \"http://example:1085/asxbanner.jpg?id=" + std::to_string(id) +
           "\">\r\n<moreinfo href = \"" + link + "\" />\r\n<abstract>Click here to go to " + link +
           "</abstract>\r\n</BANNER>\r\n<REF HREF = \"http://example:1085/velorin.mp3?" + query +
           "\" />\r\n</ENTRY>\r\n</ASX>\r\n";
  };
  const int id = gVLBannerCounter.load();
  const std::pair<std::pair<std::string, std::string>, std::string> playlists[] = {
      {{"/velorin.m3u?src=2&kbps=24", "Host: example:1085\r\nUser-Agent: curl/7\r\n"},
       m3u + "Velorin Live 2\r\nhttp://example:1085/velorin.mp3?src=2&kbps=24&ref=\r\n"},
      {{"/velorin.m3u?src=fX&kbps=7", "Host: h\r\nReferer: http://radio.example/listen?a=1&b=two words\r\n"},
       m3u + "X\r\nhttp://h/"
             "velorin.mp3?src=fX&kbps=7&ref=http%3A%2F%2Fradio.example%2Flisten%3Fa%3D1%26b%3Dtwo%20words\r\n"},
      // "windows" in lower case is not a Windows player.
      {{"/velorin.m3u", "Host: h\r\nUser-Agent: windows\r\n"},
       m3u + "Velorin Live 1\r\nhttp://h/velorin.mp3?src=1&kbps=64&ref=\r\n"},
      // A title cannot start a line of its own, nor a rate leave its URL.
      {{"/velorin.m3u?src=fA%0D%0Ahttp://evil/&kbps=5%0D%0Ax", "Host: h\r\n"},
       m3u + "A  http://evil/\r\nhttp://h/velorin.mp3?src=fA%0D%0Ahttp%3A%2F%2Fevil%2F&kbps=5%0D%0Ax&ref=\r\n"},
      {{"/velorin.m3u?src=1&kbps=56", windows},
       asx("Velorin Live 1", id, "http://www.ostrel.com/velorin/", "src=1&kbps=56&ref=")}};
  for (const auto& [request, expected] : playlists)
    EXPECT_EQ(server_->Get(request.first, request.second), expected) << request.first;
}

TEST_F(SiteTest, StatusAndLiveFeeds)
{
  WriteWhole(HighFolder() + "/A.mp3", "a");
  WriteWhole(HighFolder() + "/B.mp3", "b");
  CommandOutput("curl -s -o /dev/null '" + server_->Url("/velorin.mp3?src=fB") + "'");
  EXPECT_EQ(Curl("'" + server_->Url("/status.json") +
                 "' | /usr/bin/python3 -c 'import json,sys; d=json.load(sys.stdin);"
                 " print(sorted((r[\"name\"], r[\"downloads\"]) for r in d[\"recordings\"]), d[\"version\"])'"),
            "[('A', 0), ('B', 1)] 1.01\n");
  EXPECT_EQ(Curl("-i --interface 127.0.0.2 '" + server_->Url("/status.json") + "'"), kFile404) << "not public";
  bool closed = false;
  EXPECT_EQ(server_->Get("/velorin.rss?src=1", "Host: h\r\n", &closed), "");
  EXPECT_TRUE(closed);
  // A podcast app's parser reads a recording's feed without error; the
  // enclosure's length is the file's size at the feed's rate.
  WriteWhole(HighFolder() + "/Show.mp3", std::string(5000, 'H'));
  WriteWhole(LowFolder() + "/Show.mp3", std::string(3000, 'L'));
  for (const auto& [kbps, length] : {std::pair{"56", "5000"}, std::pair{"24", "3000"}})
    EXPECT_EQ(CommandOutput("/usr/bin/python3 -c 'import feedparser; f=feedparser.parse(\"" +
                            server_->Url("/velorin.rss?src=fShow&kbps=") + kbps +
                            "\"); e=f.entries[0].enclosures[0]; print(int(f.bozo), e.length, e.href)' 2>&1"),
              std::string("0 ") + length + " " + server_->Url("/velorin.mp3?src=fShow&kbps=") + kbps + "&ref=\n");
}

// Podcast apps fetch with byte ranges: curl gets exactly the bytes asked for.
TEST_F(SiteTest, RecordingsByteRanges)
{
  std::string bytes(5000, 0);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i % 251);
  WriteWhole(HighFolder() + "/Show.mp3", bytes);
  WriteWhole(LowFolder() + "/Show.mp3", std::string(3000, 'L'));
  const std::string url = "'" + server_->Url("/velorin.mp3?src=fShow");
  // The broadband rate or above picks the High folder.
  EXPECT_EQ(Curl("-o - " + url + "&kbps=500'").size(), 5000u);
  const std::string tag = Header(Curl("-D - -o /dev/null " + url + "'"), "ETag");
  const std::tuple<std::string, std::string, long, long> ranges[] = {
      // -1: no bytes
      {"", "200", 0, 4999},
      {"-r 4990-", "206", 4990, 4999},
      {"-r -300", "206", 4700, 4999},
      {"-r 4000-9999", "206", 4000, 4999},
      {"-r 5000-", "416", -1, -1},
      {"-r 0-1,5-6", "200", 0, 4999},
      {"-r 100-199 -H 'If-Range: " + tag + "'", "206", 100, 199},
      {"-r 1-2 -H 'If-Range: \"1-5000\"'", "200", 0, 4999},
      {"-H 'range: bytes=100-199'", "206", 100, 199}};
  for (const auto& [args, status, first, last] : ranges) {
    SCOPED_TRACE(args);
    EXPECT_EQ(Curl(args + " -D /tmp/head -o /tmp/body -w '%{http_code}' " + url + "'"), status);
    const std::string head = ReadWhole("/tmp/head"), body = ReadWhole("/tmp/body");
    EXPECT_EQ(Header(head, "Content-Range"),
              status == "200" ? "<none>"
              : first < 0     ? "bytes */5000"
                              : "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/5000");
    EXPECT_TRUE(body == (first < 0 ? "" : bytes.substr(first, last - first + 1))) << body.size();
  }
  EXPECT_EQ(server_->Get("/velorin.mp3?src=1", "Host: h\r\nRange: bytes=0-9\r\n"), kAudioHeader);  // live: no ranges
}

TEST_F(SiteTest, NoPathOutsideTheRecordingsFoldersAndBadLiveRequests)
{
  WriteWhole(DataFolder() + "/secret.mp3", "secret");
  for (const char* src : {"f..%2Fsecret", "f..%5Csecret", "f%2Fopt%2Fostrel%2Fvelorin%2Fetc%2Fsecret",
                          "f..%2F..%2F..%2F..%2F..%2Fetc%2Fpasswd"}) {
    bool closed = false;
    EXPECT_EQ(server_->Get(std::string("/velorin.mp3?src=") + src + "&kbps=56", "Host: h\r\n", &closed), kAudioHeader)
        << src;
    EXPECT_TRUE(closed);
  }
  EXPECT_TRUE(LogShows("Invalid file request ../secret\r\n"));
  EXPECT_TRUE(LogShows("Invalid file request ..\\secret\r\n"));
  EXPECT_EQ(server_->Get("/velorin.mp3?src=f..&kbps=56"), kFile404);
  EXPECT_EQ(server_->Get("/velorin.mp3?src=fGone"), kFile404);
  EXPECT_TRUE(LogShows("VLWAudio Serving file: Gone\r\n"));
  // A name so long that its path would be cut must not reach the file the cut path names.
  const size_t keep = 259 - (HighFolder().size() + 1);
  WriteWhole(HighFolder() + "/" + std::string(keep, 'a'), "cut");
  EXPECT_EQ(server_->Get("/velorin.mp3?src=f" + std::string(keep + 4, 'a')), kFile404);
  // Names are logged on one line.
  server_->Get("/velorin.mp3?src=fa%0D%0A12:00:00%20forged");
  EXPECT_TRUE(LogShows("VLWAudio Serving file: a  12:00:00 forged\r\n"));
  EXPECT_EQ(ReadLogText().find("\n12:00:00 forged"), std::string::npos);

  EXPECT_EQ(server_->Get("/velorin.mp3?src=1&kbps=56"), kAudioHeader);  // no audio engine running
  EXPECT_TRUE(LogShows("Streaming Studio A (56 kpbs)\r\n"));
  LAudioEngine engine;
  gpAudioEngine = &engine;
  const size_t before = Count(ReadLogText(), "Error with streaming request\r\n");
  for (const char* src : {"0", "9", "x", "-1", "", "99999999999"})
    EXPECT_EQ(server_->Get(std::string("/velorin.mp3?src=") + src), kAudioHeader) << src;
  EXPECT_EQ(Count(ReadLogText(), "Error with streaming request\r\n"), before + 6);
  gpAudioEngine = nullptr;
}

TEST_F(SiteTest, RestartActsOnlyOnANewPortAndOtherPathsAreFiles)
{
  WriteWhole(SessionFolder() + "/s.css", "body{}");
  EXPECT_EQ(Curl("-o - " + server_->Url("/s.css")), "body{}");
  const int id = gVLBannerCounter.load();
  const size_t restarts = Count(ReadLogText(), "Restarting server\r\n");
  server_->Server().Restart();
  EXPECT_EQ(gVLBannerCounter.load(), id);
  EXPECT_EQ(Count(ReadLogText(), "Restarting server\r\n"), restarts);
  const unsigned short old = server_->Port(), port = FreePort();
  LWebletServer::SetWebletServerPort(port);
  server_->Server().Restart();
  EXPECT_EQ(server_->Server().GetStartedPort(), port);
  EXPECT_EQ(gVLBannerCounter.load(), id + 1);
  EXPECT_EQ(Count(ReadLogText(), "Restarting server\r\n"), restarts + 1);
  WaitForPort(port);
  EXPECT_EQ(Body(Exchange(port, "GET /s.css HTTP/1.0\r\n\r\n")), "body{}");
  EXPECT_FALSE(Client(old).Connected());
  server_->Server().Stop();
  EXPECT_FALSE(Client(port).Connected());
}

}  // namespace
