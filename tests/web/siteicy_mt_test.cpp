// What players and operators see of live streams: in-stream titles for
// players that ask for them, checked byte by byte against listeners that
// do not, and the listener figures of /status.json and /metrics.  A
// pass-through encoder makes every byte of the streams known.
#include <future>

#include "sitelive.h"

using namespace sitetest;

namespace {

using SiteIcyTest = LiveSiteTest;

// The audio of an ICY stream, with every metadata block checked: one after
// each 16,000 audio bytes, the first carrying the title, the rest empty.
std::string Deframe(const std::string& body, const std::string& title)
{
  std::string expected = "StreamTitle='" + title + "';";
  expected.resize((expected.size() + 15) / 16 * 16, '\0');
  std::string audio;
  size_t at = 0;
  for (int blocks = 0; at < body.size(); ++blocks) {
    const size_t take = std::min<size_t>(16000, body.size() - at);
    audio.append(body, at, take);
    at += take;
    if (at == body.size())
      break;
    const size_t length = static_cast<unsigned char>(body[at]) * 16u;
    if (blocks == 0) {
      EXPECT_EQ(body.substr(at + 1, length), expected) << "first block at audio byte " << audio.size();
    } else if (length != 0) {
      ADD_FAILURE() << "block " << blocks << " at audio byte " << audio.size() << " has length " << length;
      return audio;
    }
    at += 1 + length;
  }
  return audio;
}

TEST_F(SiteIcyTest, TitlesEverySixteenThousandBytesAtBothRates)
{
  struct Rate {
    int kbps;
    LAudioQueue* queue;
    uint64_t written;
  };
  Rate rates[] = {{56, &StartQueue(56), 0}, {24, &StartQueue(24), 0}};
  // Pairs of listeners, one with titles and one without, joining together
  // at different moments, each read on a thread of its own as it comes.
  struct Pair {
    int kbps;
    std::future<std::string> icy;
    std::future<std::string> plain;
  };
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<Pair> pairs;
  int listeners = 0;
  // Players spell the header in different ways.
  const char* const icyRequests[] = {"Icy-MetaData: 1\r\n", "icy-metadata: 1\r\n", "ICY-METADATA: 1\r\n"};
  int joined = 0;
  auto read = [](Client* client) { return std::async(std::launch::async, [client] { return client->ReadAll(5000); }); };
  for (int block = 0; block < 32; ++block) {
    for (Rate& rate : rates)
      WriteBlock(*rate.queue, rate.written);
    if (block == 1 || block == 9 || block == 20) {
      listeners += 2;
      for (Rate& rate : rates) {
        const std::string target = "/velorin.mp3?src=1&kbps=" + std::to_string(rate.kbps);
        clients.push_back(Connect(target, icyRequests[joined]));
        clients.push_back(Connect(target));
        // Both start at the same chunk: the ring does not move until both
        // are counted.
        ASSERT_TRUE(ListenersReach(*rate.queue, listeners));
        pairs.push_back({rate.kbps, read(clients[clients.size() - 2].get()), read(clients.back().get())});
      }
      ++joined;
    }
    // Slower than live capture, so that no listener falls a ring behind
    // even on a loaded machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  for (size_t i = 0; i < pairs.size(); ++i) {
    SCOPED_TRACE("listeners " + std::to_string(i) + " at " + std::to_string(pairs[i].kbps) + " kbit/s");
    const std::string icy = pairs[i].icy.get();
    const std::string plain = pairs[i].plain.get();
    const std::string icyHeader = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Velorin Live 1\r\n"
                                  "icy-br: " + std::to_string(pairs[i].kbps) + "\r\nicy-metaint: 16000\r\n\r\n";
    ASSERT_EQ(icy.substr(0, icyHeader.size()), icyHeader);
    ASSERT_EQ(plain.substr(0, kAudioHeader.size()), kAudioHeader);
    const std::string audio = Deframe(icy.substr(icyHeader.size()), "Velorin Live 1");
    const std::string expected = plain.substr(kAudioHeader.size());
    EXPECT_EQ(audio.size(), expected.size());
    EXPECT_TRUE(audio == expected) << "the audio differs from the plain listener's";
    EXPECT_TRUE(
        IsPatternRun(reinterpret_cast<const unsigned char*>(expected.data()), static_cast<int>(expected.size())));
    if (i < 2) {
      EXPECT_GE(audio.size(), 500000u);
    }
  }
}

// The figures follow 100 listeners arriving and leaving; they are shown
// to the server's own machine, and to others only once PublicStatus is set.
TEST_F(SiteIcyTest, StatusFollowsListeners)
{
  LSettingSet(VLKeys::LiveName, 1, "Studio \"A\"");
  LAudioQueue& queue = StartQueue(56);
  // Fewer than 32 chunks: every listener gets exactly this block.
  WriteBlock(queue);

  WriteFile(HighFolder() + "/Show.mp3", std::string(5000, 'H'));
  const std::string show = server_->Url("/velorin.mp3?src=fShow&kbps=56");
  // Two whole downloads and one ranged from the start count; a seek does not.
  for (const char* range : {"", "", "-r 0-99", "-r 100-199"})
    Shell(std::string("curl -s -o /dev/null ") + range + " '" + show + "'");

  const std::string json = "curl -s --max-time 10 '" + server_->Url("/status.json") +
                           "' | /usr/bin/python3 -c 'import json,sys; d=json.load(sys.stdin); i=d[\"inputs\"][0]; "
                           "r=i[\"rates\"][0]; print(i[\"name\"], r[\"kbps\"], r[\"listeners\"], r[\"peakListeners\"], "
                           "r[\"bytesSent\"], r[\"encoderRunning\"], d[\"recordings\"][0], d[\"version\"])'";
  auto figures = [&](int listeners, int peak, uint64_t sent) {
    return "Studio \"A\" 56 " + std::to_string(listeners) + " " + std::to_string(peak) + " " + std::to_string(sent) +
           " True {'name': 'Show', 'downloads': 3} 1.01\n";
  };
  EXPECT_EQ(Shell(json), figures(0, 0, 0));

  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 100; ++i) {
    clients.push_back(Connect("/velorin.mp3?src=1&kbps=56"));
    ASSERT_EQ(clients.back()->ReadBytes(kAudioHeader.size() + kBlockBytes, 10000).size(),
              kAudioHeader.size() + kBlockBytes);
  }
  ASSERT_TRUE(ListenersReach(queue, 100));
  EXPECT_EQ(Shell(json), figures(100, 100, 100 * kBlockBytes));
  const std::string metrics = Shell("curl -s --max-time 10 '" + server_->Url("/metrics") + "'");
  const std::string labels = "{input=\"1\",name=\"Studio \\\"A\\\"\",stream=\"broadband\",kbps=\"56\"} ";
  for (const std::string& line :
       {"velorin_listeners" + labels + "100\n", "velorin_sent_bytes_total" + labels + "1764000\n",
        std::string("velorin_recording_downloads_total{recording=\"Show\"} 3\n")})
    EXPECT_NE(metrics.find(line), std::string::npos) << line << " not in\n" << metrics;

  clients.clear();
  ASSERT_TRUE(ListenersReach(queue, 0));
  EXPECT_EQ(Shell(json), figures(0, 100, 100 * kBlockBytes));

  // Another address: the figures are not there, until they are public.
  for (const char* page : {"/status.json", "/metrics"}) {
    const std::string fromOther = "curl -s --max-time 10 --interface 127.0.0.2 -i '" + server_->Url(page) + "'";
    LSettingSet(VLKeys::WebAccessPublicStatus, false);
    EXPECT_EQ(Shell(fromOther), kFile404) << page;
    LSettingSet(VLKeys::WebAccessPublicStatus, true);
    EXPECT_EQ(Shell(fromOther).rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page;
  }
}

} // namespace
