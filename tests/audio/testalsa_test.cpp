// The test sound cards seen through plain libasound, opened and configured in
// the order the recorder uses: real-time delivery, the configured signals,
// card names, and the failures (busy card, overrun, unplugged card) that the
// capture code must survive.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alsa/testalsa.h"

namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kChannels = 2;
constexpr snd_pcm_uframes_t kBlockFrames = kRate / 10;  // the recorder's 100 ms block

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using LPcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFree {
  void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};

struct LGranted {
  unsigned rate = 0;
  unsigned channels = 0;
  unsigned periods = 0;
  snd_pcm_uframes_t periodFrames = 0;
  snd_pcm_uframes_t bufferFrames = 0;
};

// Opens `device` for blocking capture with the recorder's hardware parameter
// order: rate, period 8192, 2 periods, then a buffer of a quarter of what
// was granted, and the channel count last.  Returns 0 or the first error.
int OpenLikeTheRecorder(const char* device, LPcm& pcm, LGranted* granted = nullptr) {
  snd_pcm_t* raw = nullptr;
  int err = snd_pcm_open(&raw, device, SND_PCM_STREAM_CAPTURE, 0);
  if (err < 0)
    return err;
  pcm.reset(raw);
  snd_pcm_hw_params_t* rawParams = nullptr;
  if ((err = snd_pcm_hw_params_malloc(&rawParams)) < 0)
    return err;
  std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree> params(rawParams);
  LGranted g;
  g.rate = kRate;
  g.periodFrames = 8192;
  g.periods = 2;
  g.channels = kChannels;
  int dir = 0;
  if ((err = snd_pcm_hw_params_any(raw, rawParams)) < 0 ||
      (err = snd_pcm_hw_params_set_access(raw, rawParams, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
      (err = snd_pcm_hw_params_set_format(raw, rawParams, SND_PCM_FORMAT_S16_LE)) < 0 ||
      (err = snd_pcm_hw_params_set_rate_near(raw, rawParams, &g.rate, &dir)) < 0 ||
      (err = snd_pcm_hw_params_set_period_size_near(raw, rawParams, &g.periodFrames, &dir)) < 0 ||
      (err = snd_pcm_hw_params_set_periods_near(raw, rawParams, &g.periods, &dir)) < 0)
    return err;
  g.bufferFrames = (g.periods * g.periodFrames) / 4;
  if ((err = snd_pcm_hw_params_set_buffer_size_near(raw, rawParams, &g.bufferFrames)) < 0 ||
      (err = snd_pcm_hw_params_set_channels_near(raw, rawParams, &g.channels)) < 0 ||
      (err = snd_pcm_hw_params(raw, rawParams)) < 0 || (err = snd_pcm_prepare(raw)) < 0)
    return err;
  if (granted != nullptr)
    *granted = g;
  return 0;
}

// Reads `frames` frames in recorder-sized blocks; returns the first error.
int ReadFrames(snd_pcm_t* pcm, snd_pcm_uframes_t frames, std::vector<int16_t>& out) {
  out.assign(frames * kChannels, 0);
  for (snd_pcm_uframes_t done = 0; done < frames;) {
    snd_pcm_uframes_t want = std::min(kBlockFrames, frames - done);
    snd_pcm_sframes_t got = snd_pcm_readi(pcm, out.data() + done * kChannels, want);
    if (got < 0)
      return static_cast<int>(got);
    done += static_cast<snd_pcm_uframes_t>(got);
  }
  return 0;
}

// Frequency of one channel from its upward zero crossings.
double Frequency(const std::vector<int16_t>& samples, unsigned channel) {
  size_t frames = samples.size() / kChannels;
  int crossings = 0;
  size_t first = 0, last = 0;
  for (size_t i = 1; i < frames; ++i) {
    if (samples[(i - 1) * kChannels + channel] < 0 && samples[i * kChannels + channel] >= 0) {
      if (crossings == 0)
        first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2)
    return 0;
  return (crossings - 1) * static_cast<double>(kRate) / static_cast<double>(last - first);
}

int Peak(const std::vector<int16_t>& samples, unsigned channel) {
  int peak = 0;
  for (size_t i = channel; i < samples.size(); i += kChannels)
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  return peak;
}

// Largest step between neighbouring frames: a seam between reads shows up as
// a step far above what the sine's slope allows.
int LargestStep(const std::vector<int16_t>& samples, unsigned channel) {
  int step = 0;
  for (size_t i = channel + kChannels; i < samples.size(); i += kChannels)
    step = std::max(step, std::abs(samples[i] - samples[i - kChannels]));
  return step;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

class TestAlsaTest : public ::testing::Test {
protected:
  LTestAlsaCards cards_;
};

TEST_F(TestAlsaTest, TwoCardsDeliverTheirOwnSinesInRealTime) {
  TestAlsaSetCard(0, "sine:1000:0.5");
  TestAlsaSetCard(1, "sine:440,3000:0.25,0.8");
  LPcm card0, card1;
  LGranted granted;
  ASSERT_EQ(OpenLikeTheRecorder("hw:0", card0, &granted), 0);
  ASSERT_EQ(OpenLikeTheRecorder("hw:1", card1), 0);
  // What the recorder's odd parameter order gets from a card with this range.
  EXPECT_EQ(granted.rate, kRate);
  EXPECT_EQ(granted.channels, kChannels);
  EXPECT_EQ(granted.periodFrames, 8192u);
  EXPECT_EQ(granted.periods, 2u);
  EXPECT_EQ(granted.bufferFrames, 16384u);

  // A read would start its stream; start both together and alternate blocks.
  std::vector<int16_t> all0, all1, block;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(snd_pcm_start(card0.get()), 0);
  ASSERT_EQ(snd_pcm_start(card1.get()), 0);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(ReadFrames(card0.get(), kBlockFrames, block), 0);
    all0.insert(all0.end(), block.begin(), block.end());
    ASSERT_EQ(ReadFrames(card1.get(), kBlockFrames, block), 0);
    all1.insert(all1.end(), block.begin(), block.end());
  }
  double elapsed = Seconds(std::chrono::steady_clock::now() - start);
  EXPECT_NEAR(elapsed, 1.0, 0.1) << "44100 frames must take one second to arrive";

  struct Expect {
    const std::vector<int16_t>& samples;
    unsigned channel;
    double frequency, amplitude;
  };
  const Expect expects[] = {
      {all0, 0, 1000, 0.5}, {all0, 1, 1000, 0.5}, {all1, 0, 440, 0.25}, {all1, 1, 3000, 0.8}};
  for (const Expect& e : expects) {
    SCOPED_TRACE(testing::Message() << e.frequency << " Hz channel " << e.channel);
    EXPECT_NEAR(Frequency(e.samples, e.channel), e.frequency, e.frequency * 0.005);
    EXPECT_NEAR(Peak(e.samples, e.channel), e.amplitude * 32767, e.amplitude * 32767 * 0.01);
    double slope = 2 * M_PI * e.frequency / kRate * e.amplitude * 32767;
    EXPECT_LE(LargestStep(e.samples, e.channel), slope + 2);
  }
}

TEST_F(TestAlsaTest, FileSignalIsDeliveredExactlyAndLooped) {
  constexpr int kFileFrames = 1000;
  const char* path = "/tmp/testalsa-ramp.raw";
  {
    std::ofstream file(path, std::ios::binary);
    for (int16_t i = 0; i < kFileFrames; ++i) {
      int16_t frame[kChannels] = {i, static_cast<int16_t>(-i)};
      file.write(reinterpret_cast<const char*>(frame), sizeof frame);
    }
    file.put('\x7f');  // a trailing partial frame is never played
  }
  TestAlsaSetCard(2, (std::string("file:") + path).c_str());
  LPcm pcm;
  ASSERT_EQ(OpenLikeTheRecorder("hw:2", pcm), 0);
  std::vector<int16_t> samples;
  ASSERT_EQ(ReadFrames(pcm.get(), 2500, samples), 0);
  for (int frame = 0; frame < 2500; ++frame) {
    ASSERT_EQ(samples[frame * kChannels], frame % kFileFrames) << "frame " << frame;
    ASSERT_EQ(samples[frame * kChannels + 1], -(frame % kFileFrames)) << "frame " << frame;
  }
  std::remove(path);
}

TEST_F(TestAlsaTest, CardNamesComeFromTheControlInterface) {
  TestAlsaSetCard(0, "silence");
  TestAlsaSetCard(3, "refuse", nullptr, "Line In");
  struct Case {
    const char* device;
    int openResult;
    const char* name;
  };
  const Case cases[] = {
      {"hw:0", 0, "Velorin Test Card 0"},
      {"hw:3", 0, "Line In"},  // a busy card still has a name
      {"hw:5", -ENODEV, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    snd_ctl_t* ctl = nullptr;
    ASSERT_EQ(snd_ctl_open(&ctl, c.device, 0), c.openResult);
    if (ctl == nullptr)
      continue;
    snd_ctl_card_info_t* info = nullptr;
    ASSERT_EQ(snd_ctl_card_info_malloc(&info), 0);
    EXPECT_EQ(snd_ctl_card_info(ctl, info), 0);
    EXPECT_STREQ(snd_ctl_card_info_get_name(info), c.name);
    EXPECT_EQ(std::string(snd_ctl_card_info_get_longname(info)).rfind(c.name, 0), 0u);
    snd_ctl_card_info_free(info);
    snd_ctl_close(ctl);
  }
}

TEST_F(TestAlsaTest, CardsThatCannotBeOpened) {
  TestAlsaSetCard(0, "sine:1000");
  TestAlsaSetCard(1, "refuse");
  TestAlsaSetCard(2, "sine:30000");  // above half the rate
  TestAlsaSetCard(3, "file:/tmp/testalsa-missing.raw");
  TestAlsaSetCard(4, "sine:1000", "overrun:0");
  struct Case {
    const char* device;
    snd_pcm_stream_t stream;
    int result;
  };
  const Case cases[] = {
      {"hw:1", SND_PCM_STREAM_CAPTURE, -EBUSY},    {"hw:7", SND_PCM_STREAM_CAPTURE, -ENODEV},
      {"hw:0", SND_PCM_STREAM_PLAYBACK, -ENODEV},  {"hw:0,1", SND_PCM_STREAM_CAPTURE, -ENODEV},
      {"hw:2", SND_PCM_STREAM_CAPTURE, -EINVAL},   {"hw:3", SND_PCM_STREAM_CAPTURE, -ENOENT},
      {"hw:4", SND_PCM_STREAM_CAPTURE, -EINVAL},   {"hw:0", SND_PCM_STREAM_CAPTURE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.device << " stream " << c.stream);
    snd_pcm_t* pcm = nullptr;
    EXPECT_EQ(snd_pcm_open(&pcm, c.device, c.stream, 0), c.result);
    if (pcm != nullptr)
      snd_pcm_close(pcm);
  }
}

TEST_F(TestAlsaTest, OverrunsAreReportedAndClearedByPrepare) {
  TestAlsaSetCard(0, "sine:1000", "overrun:300");
  LPcm pcm;
  ASSERT_EQ(OpenLikeTheRecorder("hw:0", pcm), 0);
  std::vector<int16_t> block(kBlockFrames * kChannels);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    int goodReads = 0;
    snd_pcm_sframes_t got = 0;
    while ((got = snd_pcm_readi(pcm.get(), block.data(), kBlockFrames)) > 0)
      ++goodReads;
    // 300 ms hold two whole 100 ms blocks and most of a third.
    EXPECT_EQ(got, -EPIPE);
    EXPECT_GE(goodReads, 2);
    EXPECT_LE(goodReads, 3);
    EXPECT_EQ(snd_pcm_state(pcm.get()), SND_PCM_STATE_XRUN);
    EXPECT_EQ(snd_pcm_readi(pcm.get(), block.data(), kBlockFrames), -EPIPE) << "stays overrun until prepared";
    if (round == 0)
      ASSERT_EQ(snd_pcm_prepare(pcm.get()), 0);
    else
      ASSERT_EQ(snd_pcm_recover(pcm.get(), -EPIPE, 1), 0);
  }
  EXPECT_EQ(snd_pcm_readi(pcm.get(), block.data(), kBlockFrames), static_cast<snd_pcm_sframes_t>(kBlockFrames));
}

TEST_F(TestAlsaTest, ReaderLateByAWholeBufferOverruns) {
  TestAlsaSetCard(0, "sine:1000");
  LPcm pcm;
  LGranted granted;
  ASSERT_EQ(OpenLikeTheRecorder("hw:0", pcm, &granted), 0);
  std::vector<int16_t> block(kBlockFrames * kChannels);
  ASSERT_EQ(snd_pcm_readi(pcm.get(), block.data(), kBlockFrames), static_cast<snd_pcm_sframes_t>(kBlockFrames));
  // Less than a buffer of lateness is absorbed ...
  std::this_thread::sleep_for(std::chrono::milliseconds(granted.bufferFrames * 1000 / kRate / 2));
  ASSERT_EQ(snd_pcm_readi(pcm.get(), block.data(), kBlockFrames), static_cast<snd_pcm_sframes_t>(kBlockFrames));
  // ... a whole buffer is lost.
  std::this_thread::sleep_for(std::chrono::milliseconds(granted.bufferFrames * 1000 / kRate + 50));
  EXPECT_EQ(snd_pcm_readi(pcm.get(), block.data(), kBlockFrames), -EPIPE);
  ASSERT_EQ(snd_pcm_recover(pcm.get(), -EPIPE, 1), 0);
  EXPECT_EQ(snd_pcm_readi(pcm.get(), block.data(), kBlockFrames), static_cast<snd_pcm_sframes_t>(kBlockFrames));
}

TEST_F(TestAlsaTest, UnpluggedCardFailsEveryReadWithoutSpinning) {
  TestAlsaSetCard(0, "sine:1000", "fail");
  TestAlsaSetCard(1, "sine:1000", "fail:250");
  LPcm failing, later;
  ASSERT_EQ(OpenLikeTheRecorder("hw:0", failing), 0);
  ASSERT_EQ(OpenLikeTheRecorder("hw:1", later), 0);
  std::vector<int16_t> block(kBlockFrames * kChannels);

  // Retrying at once, as the recorder does, must wait for the card's clock
  // rather than spin: 20 failed reads take at least a few timer ticks.
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(snd_pcm_readi(failing.get(), block.data(), kBlockFrames), -EIO) << "read " << i;
  EXPECT_GE(Seconds(std::chrono::steady_clock::now() - start), 0.05);
  ASSERT_EQ(snd_pcm_prepare(failing.get()), 0);
  EXPECT_EQ(snd_pcm_readi(failing.get(), block.data(), kBlockFrames), -EIO) << "prepare does not revive it";

  // The later card delivers what it captured before it failed, then fails.
  snd_pcm_uframes_t delivered = 0;
  snd_pcm_sframes_t got = 0;
  while ((got = snd_pcm_readi(later.get(), block.data(), kBlockFrames)) > 0)
    delivered += static_cast<snd_pcm_uframes_t>(got);
  EXPECT_EQ(got, -EIO);
  EXPECT_NEAR(static_cast<double>(delivered), kRate * 0.25, kBlockFrames);
}

TEST_F(TestAlsaTest, ArecordRecordsFromATestCard) {
  TestAlsaSetCard(0, "sine:1000,2000:0.5");
  const char* out = "/tmp/testalsa-arecord.wav";
  std::string command = "ALSA_CONFIG_PATH='" + TestAlsaConfigPath(true) +
                        "' arecord -q -D hw:0 -d 1 -f S16_LE -c 2 -r 44100 " + out;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  std::ifstream file(out, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  constexpr size_t kHeader = 44;
  ASSERT_EQ(bytes.size(), kHeader + kRate * kChannels * sizeof(int16_t));
  std::vector<int16_t> samples((bytes.size() - kHeader) / sizeof(int16_t));
  std::memcpy(samples.data(), bytes.data() + kHeader, samples.size() * sizeof(int16_t));
  EXPECT_NEAR(Frequency(samples, 0), 1000, 5);
  EXPECT_NEAR(Frequency(samples, 1), 2000, 10);
  std::remove(out);
}

}  // namespace
