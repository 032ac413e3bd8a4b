// The running daemon and the velorin-rec tool together: a recording that
// the tool adds while the daemon runs is listed on the main page and served
// through every link the page gives (downloads, playlists, podcast feeds);
// a removed recording is gone from the page and its links.
#include "integration/componentkit.h"
#include "integration/daemon.h"
#include "settings/configkeys.h"
#include "web/sitetest.h"

#include <sys/stat.h>

namespace {

using componentkit::LRunResult;
using componentkit::ReadWholeFile;

const std::string kTool = VELORIN_BINARY_DIR "/velorin-rec";
// Not the defaults: the tool and the daemon must both take them from the
// shared settings.
constexpr int kBroadband = 64;
constexpr int kDialUp = 32;
const std::string kPublicHost = "203.0.113.7";
// A space, so every link carries the name URI-encoded.
const std::string kName = "Morning Talk";
const std::string kEncodedName = "Morning%20Talk";
const std::string k304 = "HTTP/1.1 304 Not Modified\r\n\r\n";

// One of the two encodings as the main page offers it.
struct LRate {
  std::string label;  // "Broadband" or "Dialup"
  std::string file;   // the recording's file in its rate folder
  int kbps;
};

class RecordingSiteTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    componentkit::IgnoreBrokenPipes();
    ASSERT_EQ(access(kTool.c_str(), X_OK), 0) << "not built: " << kTool;
    ASSERT_FALSE(dir_.Path().empty());
    LSettingSet(VLKeys::BroadBandKBPS, kBroadband);
    LSettingSet(VLKeys::DialUpKBPS, kDialUp);
    LSettingSet(VLKeys::WebAccessHostKnown, true);
    LSettingSet(VLKeys::WebAccessHost, kPublicHost.c_str());
    UseFreeWebPort();
    port_ = static_cast<unsigned short>(LSettingGetInt("WebServer", "Port", 0));
    host_ = "127.0.0.1:" + std::to_string(port_);
    LaunchResult launch = RunVelorin({"-service"}, false);
    ASSERT_EQ(launch.ExitCode(), 0) << launch.errors;
    ASSERT_GT(guard_.Daemon(), 0);
    sitetest::SiteServer::WaitForPort(port_);
    rates_ = {{"Broadband", sitetest::HighFolder() + "/" + kName + ".mp3", kBroadband},
              {"Dialup", sitetest::LowFolder() + "/" + kName + ".mp3", kDialUp}};
  }

  // The daemon that served all this still stops cleanly (in a sanitizer
  // build, with no leak or error report, which would change its status).
  void TearDown() override
  {
    pid_t daemon = guard_.Daemon(0);
    ASSERT_GT(daemon, 0) << "the daemon has gone";
    ASSERT_EQ(kill(daemon, SIGTERM), 0);
    int status = guard_.WaitExit(daemon, 5000);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }

  LRunResult Tool(std::vector<std::string> args)
  {
    args.insert(args.begin(), kTool);
    return componentkit::RunProgram(args);
  }

  // A stereo tone written by sox into dir_/sub/name.wav.
  std::string MakeTone(const std::string& sub, double frequency, double seconds)
  {
    std::filesystem::create_directories(dir_ / sub);
    std::string path = dir_ / (sub + "/" + kName + ".wav");
    LRunResult r = componentkit::RunProgram({"/usr/bin/sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth",
                                             std::to_string(seconds), "sine", std::to_string(frequency), "vol", "0.5"});
    EXPECT_TRUE(r.Exited(0)) << r.err;
    return path;
  }

  // One GET as a browser sends it, with the daemon's address as its host;
  // everything the daemon sent.
  std::string Get(const std::string& target, const std::string& headers = "")
  {
    return webtest::Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: " + host_ + "\r\n" + headers + "\r\n");
  }

  // The request target of an absolute link to the daemon.
  std::string Target(const std::string& url)
  {
    const std::string origin = "http://" + host_;
    EXPECT_EQ(url.rfind(origin, 0), 0u) << url;
    return url.rfind(origin, 0) == 0 ? url.substr(origin.size()) : url;
  }

  // The href of the recording's row labelled label on the main page.
  static std::string Link(const std::string& page, const std::string& label)
  {
    const std::string anchor = "<td>" + label + "</td><td width=20></td><td><a href=\"";
    size_t at = page.find(anchor, page.find("<b>" + kName + "</b>"));
    if (at == std::string::npos)
      return "";
    at += anchor.size();
    return page.substr(at, page.find('"', at) - at);
  }

  // Downloads target and checks the answer against the file on disk; the
  // answer's entity tag.
  std::string ExpectDownload(const std::string& target, const std::string& file)
  {
    const std::string bytes = ReadWholeFile(file);
    EXPECT_FALSE(bytes.empty()) << file;
    const std::string reply = Get(target);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << target << ": " << reply.substr(0, 200);
    EXPECT_EQ(webtest::Header(reply, "Content-Length"), std::to_string(bytes.size())) << target;
    EXPECT_EQ(webtest::Header(reply, "Content-Type"), "audio/mpeg") << target;
    const std::string body = webtest::Body(reply);
    EXPECT_EQ(body.size(), bytes.size()) << target;
    EXPECT_TRUE(body == bytes) << target << ": body differs from " << file;
    const std::string tag = webtest::Header(reply, "ETag");
    EXPECT_TRUE(tag.size() > 2 && tag.front() == '"' && tag.back() == '"') << target << ": " << tag;
    return tag;
  }

  DaemonGuard guard_;
  componentkit::LTempDir dir_;
  unsigned short port_ = 0;
  std::string host_;
  std::vector<LRate> rates_;
};

TEST_F(RecordingSiteTest, AddedRecordingIsListedAndServedThroughEveryLink)
{
  std::string wav = MakeTone("a", 440, 3);
  EXPECT_EQ(Get("/").find(kName), std::string::npos);

  LRunResult added = Tool({"add", wav});
  ASSERT_TRUE(added.Exited(0)) << added.err;

  const std::string page = Get("/");
  EXPECT_NE(page.find(sitetest::RecordingRow(kName, kEncodedName, host_, kPublicHost, kBroadband, kDialUp)),
            std::string::npos)
      << page;

  std::vector<std::string> tags;
  for (const LRate& rate : rates_) {
    SCOPED_TRACE(rate.label);
    componentkit::LProbe probe;
    ASSERT_TRUE(componentkit::ProbeStream(rate.file, probe));
    EXPECT_EQ(probe.bitRate, rate.kbps * 1000);

    // Download, and the revalidation a caching player makes.
    const std::string download = Target(Link(page, rate.label + " Download"));
    const std::string tag = ExpectDownload(download, rate.file);
    EXPECT_EQ(Get(download, "If-None-Match: " + tag + "\r\n"), k304);
    tags.push_back(tag);

    // The playlist names the recording and points at the same file.
    const std::string mp3 = "http://" + host_ + "/velorin.mp3?src=f" + kEncodedName + "&kbps=" +
                            std::to_string(rate.kbps) + "&ref=";
    EXPECT_EQ(Get(Target(Link(page, rate.label + " Stream"))),
              "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\r\n#EXTINF:-1," + kName + "\r\n" + mp3 +
                  "\r\n");
    ExpectDownload(Target(mp3), rate.file);

    // The feed's one item encloses the same URL.
    const std::string feed = Get(Target(Link(page, rate.label + " Podcast")));
    EXPECT_EQ(feed.rfind("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\n\r\n", 0), 0u) << feed;
    EXPECT_NE(feed.find("         <title>" + kName + "</title>\r\n"), std::string::npos) << feed;
    std::string enclosure = mp3;
    for (size_t at = enclosure.find('&'); at != std::string::npos; at = enclosure.find('&', at + 1))
      enclosure.replace(at, 1, "&amp;");
    const std::string length = std::to_string(ReadWholeFile(rate.file).size());
    EXPECT_NE(feed.find("<enclosure url=\"" + enclosure + "\" length=\"" + length + "\" type=\"audio/mpeg\" />"),
              std::string::npos)
        << feed;
  }
  // Each encoding has its own tag: one rate's tag does not validate the other's copy.
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_NE(tags[0], tags[1]);
  const std::string lowDownload = Target(Link(page, "Dialup Download"));
  EXPECT_EQ(Get(lowDownload, "If-None-Match: " + tags[0] + "\r\n").rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

  // A real client takes the broadband download whole and revalidates it.
  const std::string url = Link(page, "Broadband Download");
  const std::string saved = dir_ / "saved.mp3";
  EXPECT_EQ(webtest::Shell("curl -s -S -f --max-time 10 -o '" + saved + "' -w '%{http_code}' '" + url + "' 2>&1"),
            "200");
  EXPECT_TRUE(ReadWholeFile(saved) == ReadWholeFile(rates_[0].file));
  EXPECT_EQ(webtest::Shell("curl -s -S --max-time 10 -o /dev/null -w '%{http_code}' -H 'If-None-Match: " + tags[0] +
                           "' '" + url + "' 2>&1"),
            "304");
}

TEST_F(RecordingSiteTest, RemovedRecordingIsGoneFromThePageAndItsLinks)
{
  ASSERT_TRUE(Tool({"add", MakeTone("first", 440, 2)}).Exited(0));
  const std::string page = Get("/");
  const std::string highDownload = Target(Link(page, "Broadband Download"));
  const std::string lowDownload = Target(Link(page, "Dialup Download"));
  const std::string tag = ExpectDownload(highDownload, rates_[0].file);

  // Whatever tag the client holds, the links find nothing.
  LRunResult removed = Tool({"remove", kName});
  ASSERT_TRUE(removed.Exited(0)) << removed.err;
  EXPECT_EQ(Get("/").find(kEncodedName), std::string::npos);
  EXPECT_EQ(Get(highDownload), sitetest::kFile404);
  EXPECT_EQ(Get(highDownload, "If-None-Match: " + tag + "\r\n"), sitetest::kFile404);
  EXPECT_EQ(Get(lowDownload), sitetest::kFile404);
}

} // namespace
