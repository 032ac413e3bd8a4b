// Real players against live streams from the real encoder: ffprobe and
// ffmpeg read the station's title from the in-stream metadata and decode
// around it, and headless chromium plays the listening page.
#include <atomic>
#include <cmath>
#include <numbers>

#include "sitetest.h"

using namespace sitetest;

namespace {

constexpr int kBlockFrames = 4410;

// Feeds a tone to both encoders of input 1 at the pace of live capture.
class ToneFeeder {
public:
  // The broadband queue's rate decides which queue a rate picks: it is
  // started first.
  explicit ToneFeeder(LAudioEngine& engine) : broadband_(Started(engine, 56)), dialUp_(Started(engine, 24))
  {
    thread_ = std::thread([this] { Run(); });
  }
  ~ToneFeeder()
  {
    stop_ = true;
    thread_.join();
  }
  bool Running() const { return broadband_.GetEncoderPid() > 0 && dialUp_.GetEncoderPid() > 0; }

private:
  static LAudioQueue& Started(LAudioEngine& engine, int kbps)
  {
    LAudioQueue& queue = *engine.GetAudioQueue(0, kbps);
    queue.Start(kbps);
    return queue;
  }

  void Run()
  {
    std::vector<int> samples(kBlockFrames * 2);
    for (long frame = 0; !stop_;) {
      for (int i = 0; i < kBlockFrames; ++i, ++frame) {
        int value = static_cast<int>(std::lround(8000 * std::sin(2 * std::numbers::pi * 440 * frame / 44100.0))) * 16;
        samples[2 * i] = samples[2 * i + 1] = value;
      }
      dialUp_.Write(samples.data(), kBlockFrames);
      broadband_.Write(samples.data(), kBlockFrames);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  LAudioQueue& broadband_;
  LAudioQueue& dialUp_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class SiteClientsTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ResetSiteSettings();
    LSettingSet(VLKeys::LiveName, 1, "Studio One");
    gpAudioEngine = &engine_;
    server_ = std::make_unique<SiteServer>();
    feeder_ = std::make_unique<ToneFeeder>(engine_);
    ASSERT_TRUE(feeder_->Running()) << "the encoder component is missing";
  }
  void TearDown() override
  {
    server_.reset();
    feeder_.reset();
    gpAudioEngine = nullptr;
    engine_.Stop();
  }

  LAudioEngine engine_;
  std::unique_ptr<SiteServer> server_;
  std::unique_ptr<ToneFeeder> feeder_;
};

TEST_F(SiteClientsTest, PlayersShowTheStationAndDecodeAroundTheTitles)
{
  for (const char* kbps : {"56", "24"}) {
    SCOPED_TRACE(kbps);
    const std::string url = server_->Url(std::string("/velorin.mp3?src=1&kbps=") + kbps);
    // ffmpeg's HTTP client asks for the titles itself; the header is given
    // anyway, as other players send it.
    // Titles in the stream show once packets are read past the first block.
    std::string tags = Shell("timeout 60 ffprobe -v error -headers 'Icy-MetaData: 1\r\n' -read_intervals %+3 "
                             "-show_packets -show_entries packet=pts:format_tags -of default=nw=1 '" + url + "' 2>&1");
    EXPECT_NE(tags.find("TAG:icy-name=Studio One\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find(std::string("TAG:icy-br=") + kbps + "\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:StreamTitle=Studio One\n"), std::string::npos) << tags;
    // Five seconds span several title blocks; each would be a frame error
    // if it were cut into the audio at the wrong place.
    std::string errors = Shell("timeout 60 ffmpeg -nostdin -v warning -headers 'Icy-MetaData: 1\r\n' -t 5 -i '" + url +
                               "' -f null - 2>&1");
    EXPECT_EQ(errors, "");
  }
}

TEST_F(SiteClientsTest, BrowserPlaysTheListenPage)
{
  const std::string name = "<b>&'\"";
  WriteFile(HighFolder() + "/" + name + ".mp3", std::string(4000, 'x'));
  const std::string page = server_->Get("/listen", "Host: h:1\r\nReferer: http://r/\r\n");
  EXPECT_NE(page.find("<h2>Studio One</h2>"), std::string::npos) << page;
  EXPECT_NE(page.find("<h2>&lt;b&gt;&amp;'&quot;</h2>"), std::string::npos) << page;
  for (const std::string player :
       {"<audio controls preload=\"none\" src=\"http://h:1/velorin.mp3?src=1&amp;kbps=56&amp;ref=http%3A%2F%2Fr%2F\">",
        "<audio controls preload=\"none\" src=\"http://h:1/velorin.mp3?src=1&amp;kbps=24&amp;ref=http%3A%2F%2Fr%2F\">",
        "<a href=\"http://h:1/velorin.m3u?src=1&amp;kbps=24\">",
        "<audio controls preload=\"none\" src=\"http://h:1/velorin.mp3?src=f%3Cb%3E%26%27%22&amp;kbps=56&amp;ref=",
        "<a href=\"http://h:1/velorin.rss?src=f%3Cb%3E%26%27%22&amp;kbps=24\">"})
    EXPECT_NE(page.find(player), std::string::npos) << player;

  const std::string state = Shell(VELORIN_SOURCE_DIR "/tests/web/chromiumplay.py '" + server_->Url("/listen") +
                                  "' 3 90 2>&1");
  const std::string script =
      "import json,sys; s=json.loads(sys.stdin.read()); print(s['t'] > 3, s['error'], s['play'], s['titles'])";
  WriteFile("/tmp/state.json", state);
  EXPECT_EQ(Shell("/usr/bin/python3 -c \"" + script + "\" < /tmp/state.json 2>&1"),
            "True 0 ok ['Studio One', '<b>&\\'\"']\n")
      << state;
}

} // namespace
