// The daemon and velorin-rec together: an added recording is listed and
// served through every link of the page until it is removed.
#include "integration/kit.h"
#include "settings/configkeys.h"
#include "web/sitetest.h"

namespace {

const std::string kTool = VELORIN_BINARY_DIR "/velorin-rec";
// Not the defaults: the tool and the daemon must both read them.
constexpr int kBroadband = 64;
constexpr int kDialUp = 32;
const std::string kPublicHost = "203.0.113.7";
// A space, so every link carries the name URI-encoded.
const std::string kName = "Morning Talk";
const std::string kEncodedName = "Morning%20Talk";

class RecordingSiteTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    signal(SIGPIPE, SIG_IGN);
    LSettingSet(VLKeys::BroadBandKBPS, kBroadband);
    LSettingSet(VLKeys::DialUpKBPS, kDialUp);
    LSettingSet(VLKeys::WebAccessHostKnown, true);
    LSettingSet(VLKeys::WebAccessHost, kPublicHost.c_str());
    UseFreeWebPort();
    port_ = static_cast<unsigned short>(LSettingGetInt("WebServer", "Port", 0));
    host_ = "127.0.0.1:" + std::to_string(port_);
    LRunResult launch = RunVelorin({"-service"}, false);
    ASSERT_TRUE(launch.Exited(0)) << launch.err;
    ASSERT_GT(guard_.Daemon(), 0);
    webtest::WaitForPort(port_);
  }

  // The daemon still stops cleanly (a sanitizer report would change its status).
  void TearDown() override
  {
    pid_t daemon = guard_.Daemon(0);
    ASSERT_GT(daemon, 0) << "the daemon has gone";
    ASSERT_EQ(kill(daemon, SIGTERM), 0);
    int status = guard_.WaitExit(daemon, 10000);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }

  std::string Get(const std::string& target, const std::string& tag = "")
  {
    const std::string match = tag.empty() ? "" : "If-None-Match: " + tag + "\r\n";
    return webtest::Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: " + host_ + "\r\n" + match + "\r\n");
  }

  // The request target of the recording's link labelled label on the page.
  std::string Link(const std::string& page, const std::string& label)
  {
    const std::string anchor = "<td>" + label + "</td><td width=20></td><td><a href=\"http://" + host_;
    size_t at = page.find(anchor, page.find("<b>" + kName + "</b>"));
    EXPECT_NE(at, std::string::npos) << label;
    at = at == std::string::npos ? 0 : at + anchor.size();
    return page.substr(at, page.find('"', at) - at);
  }

  // Downloads target, checks the answer against the file; its entity tag.
  std::string ExpectDownload(const std::string& target, const std::string& file)
  {
    const std::string bytes = ReadWhole(file), reply = Get(target);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << target << ": " << reply.substr(0, 200);
    EXPECT_EQ(webtest::Header(reply, "Content-Length"), std::to_string(bytes.size())) << target;
    EXPECT_EQ(webtest::Header(reply, "Content-Type"), "audio/mpeg") << target;
    EXPECT_TRUE(webtest::Body(reply) == bytes) << target << ": body differs from " << file;
    const std::string tag = webtest::Header(reply, "ETag");
    EXPECT_TRUE(tag.size() > 2 && tag.front() == '"' && tag.back() == '"') << target << ": " << tag;
    return tag;
  }

  DaemonGuard guard_;
  TempFolder dir_;
  unsigned short port_ = 0;
  std::string host_;
};

TEST_F(RecordingSiteTest, RecordingIsServedThroughEveryLinkUntilRemoved)
{
  const std::string wav = dir_ / (kName + ".wav");
  SoxTone(wav, 44100, {440, 440}, 3);
  EXPECT_EQ(Get("/").find(kName), std::string::npos);
  LRunResult added = RunProgram({kTool, "add", wav});
  ASSERT_TRUE(added.Exited(0)) << added.err;
  const std::string page = Get("/");
  EXPECT_NE(page.find(sitetest::RecordingRow(kName, kEncodedName, host_, kPublicHost, kBroadband, kDialUp)),
            std::string::npos)
      << page;

  std::vector<std::string> tags, downloads;
  for (auto [label, file, kbps] : {std::tuple{"Broadband", sitetest::HighFolder(), kBroadband},
                                   std::tuple{"Dialup", sitetest::LowFolder(), kDialUp}}) {
    SCOPED_TRACE(label);
    file += "/" + kName + ".mp3";
    LProbe probe;
    ASSERT_TRUE(ProbeStream(file, probe));
    EXPECT_EQ(probe.bitRate, kbps * 1000);
    // Download, and the revalidation a caching player makes.
    downloads.push_back(Link(page, label + std::string(" Download")));
    tags.push_back(ExpectDownload(downloads.back(), file));
    EXPECT_EQ(Get(downloads.back(), tags.back()), "HTTP/1.1 304 Not Modified\r\n\r\n");
    // The playlist names the recording and points at the same file.
    const std::string mp3 = "/velorin.mp3?src=f" + kEncodedName + "&kbps=" + std::to_string(kbps) + "&ref=";
    EXPECT_EQ(Get(Link(page, label + std::string(" Stream"))),
              "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n#EXTINF:-1," + kName + "\r\nhttp://" +
                  host_ + mp3 + "\r\n");
    ExpectDownload(mp3, file);
    // The feed's one item encloses the same URL.
    const std::string feed = Get(Link(page, label + std::string(" Podcast")));
    EXPECT_EQ(feed.rfind("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\n\r\n", 0), 0u) << feed;
    EXPECT_NE(feed.find("         <title>" + kName + "</title>\r\n"), std::string::npos) << feed;
    std::string enclosure = "http://" + host_ + mp3;
    for (size_t at = enclosure.find('&'); at != std::string::npos; at = enclosure.find('&', at + 1))
      enclosure.replace(at, 1, "&amp;");
    EXPECT_NE(feed.find("<enclosure url=\"" + enclosure + "\" length=\"" + std::to_string(ReadWhole(file).size()) +
                        "\" type=\"audio/mpeg\" />"),
              std::string::npos)
        << feed;
  }
  // Each encoding has its own tag: one rate's does not validate the other's.
  EXPECT_NE(tags[0], tags[1]);
  EXPECT_EQ(Get(downloads[1], tags[0]).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  // A real client takes the download whole and revalidates it.
  const std::string url = "http://" + host_ + downloads[0], saved = dir_ / "saved.mp3";
  EXPECT_EQ(CommandOutput("curl -s -S -f --max-time 20 -o '" + saved + "' -w '%{http_code}' '" + url + "' 2>&1"),
            "200");
  EXPECT_TRUE(ReadWhole(saved) == ReadWhole(sitetest::HighFolder() + "/" + kName + ".mp3"));
  EXPECT_EQ(CommandOutput("curl -s -S --max-time 20 -o /dev/null -w '%{http_code}' -H 'If-None-Match: " + tags[0] +
                          "' '" + url + "' 2>&1"),
            "304");

  LRunResult removed = RunProgram({kTool, "remove", kName});
  ASSERT_TRUE(removed.Exited(0)) << removed.err;
  EXPECT_EQ(Get("/").find(kEncodedName), std::string::npos);
  for (const std::string& download : downloads) {
    EXPECT_EQ(Get(download), sitetest::kFile404);
    EXPECT_EQ(Get(download, tags[0]), sitetest::kFile404);
  }
}

}  // namespace
