// Live streams through the site, from a pass-through encoder that makes every byte known.
#include <future>

#include "audio/fakeencoder.h"
#include "sitetest.h"

using namespace sitetest;

namespace {

// The audio of a stream with titles: after each 16,000 audio bytes a block, the first with the title, the rest empty.
std::string Deframe(const std::string& body, const std::string& title)
{
  std::string expected = "StreamTitle='" + title + "';", audio;
  expected.resize((expected.size() + 15) / 16 * 16, '\0');
  for (size_t at = 0, blocks = 0; at < body.size(); ++blocks) {
    const size_t take = std::min<size_t>(16000, body.size() - at);
    audio.append(body, at, take);
    if ((at += take) == body.size())
      break;
    const size_t length = static_cast<unsigned char>(body[at]) * 16u;
    if (blocks == 0)
      EXPECT_EQ(body.substr(at + 1, length), expected);
    else if (length != 0)
      return ADD_FAILURE() << "block " << blocks << " has length " << length, audio;
    at += 1 + length;
  }
  return audio;
}

// Pairs of listeners, with titles and without, joining at different moments get the same audio, in order.
TEST(SiteStreamTest, TitlesEverySixteenThousandBytes)
{
  ResetSiteSettings();
  LFakeEncoder encoder("exec cat");
  LAudioEngine engine;
  gpAudioEngine = &engine;
  SiteServer server;
  LAudioQueue& queue = *engine.GetAudioQueue(0, 56);
  queue.Start(56);
  ASSERT_GT(queue.GetEncoderPid(), 0);
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<std::future<std::string>> heard;
  const char* const spellings[] = {"Icy-MetaData: 1\r\n", "icy-metadata: 1\r\n", "ICY-METADATA: 1\r\n"};
  // Blocks of about two ring slots: the 64-slot ring holds some 30 blocks, seconds of slack for a busy machine.
  constexpr int kFrames = 1102;
  for (int block = 0, joined = 0; block < 32; ++block) {
    std::vector<int> samples = PatternSamples(block * kFrames * 4, kFrames);
    ASSERT_EQ(queue.Write(samples.data(), kFrames), kFrames * 4);
    if (block == 1 || block == 9 || block == 20) {
      for (const char* icy : {spellings[joined], ""}) {
        Client* client = clients.emplace_back(std::make_unique<Client>(server.Port())).get();
        ASSERT_TRUE(client->Send(std::string("GET /velorin.mp3?src=1&kbps=64 HTTP/1.1\r\nHost: h\r\n") + icy + "\r\n"));
      }
      // Both start at the same chunk: the ring does not move until both are counted.
      for (uint32_t start = GetTickCount(); queue.GetListenerStats().GetCurrent() != 2 * (joined + 1); usleep(10000))
        ASSERT_LT(nettest::Since(start), 20000u) << "listeners not counted";
      ++joined;
      for (Client* c : {clients[clients.size() - 2].get(), clients.back().get()})
        heard.push_back(std::async(std::launch::async, [c] { return c->ReadAll(5000); }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  const std::string icyHeader = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Velorin Live 1\r\n"
                                "icy-br: 56\r\nicy-metaint: 16000\r\n\r\n";
  for (size_t i = 0; i < heard.size(); i += 2) {
    SCOPED_TRACE("pair " + std::to_string(i / 2));
    const std::string icy = heard[i].get(), plain = heard[i + 1].get();
    ASSERT_EQ(icy.substr(0, icyHeader.size()), icyHeader);
    ASSERT_EQ(plain.substr(0, kAudioHeader.size()), kAudioHeader);
    const std::string audio = Deframe(icy.substr(icyHeader.size()), "Velorin Live 1");
    EXPECT_TRUE(audio == plain.substr(kAudioHeader.size())) << "the audio differs from the plain listener's";
    EXPECT_TRUE(IsPatternRun(reinterpret_cast<const unsigned char*>(audio.data()), static_cast<int>(audio.size())));
    EXPECT_GE(audio.size(), i == 0 ? 120000u : 1u);
  }
  server.Server().Stop();
  gpAudioEngine = nullptr;
  engine.Stop();
}

}  // namespace
