#include "audio/soundrecllalsa.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <new>

#include "settings/log.h"

namespace {

void LogOpenFailure(const char* message)
{
  LOGERROR(message);
}

std::atomic<LSoundOpenFailureReporter> gOpenFailureReporter{&LogOpenFailure};

constexpr snd_pcm_uframes_t kPeriodFrames = 8192;
constexpr unsigned int kPeriods = 2;
constexpr unsigned int kFirstRetryDelayMs = 5;

// Frees an hw-parameter record on every path.
class LHwParams {
public:
  LHwParams()
  {
    if (snd_pcm_hw_params_malloc(&params_) < 0)
      params_ = nullptr;
  }
  ~LHwParams()
  {
    if (params_ != nullptr)
      snd_pcm_hw_params_free(params_);
  }
  LHwParams(const LHwParams&) = delete;
  LHwParams& operator=(const LHwParams&) = delete;
  snd_pcm_hw_params_t* Get() const { return params_; }

private:
  snd_pcm_hw_params_t* params_ = nullptr;
};

}  // namespace

void LSetSoundOpenFailureReporter(LSoundOpenFailureReporter reporter)
{
  gOpenFailureReporter.store(reporter != nullptr ? reporter : &LogOpenFailure);
}

int LAlsaPcm::OpenCapture(const char* device)
{
  Close();
  int err = snd_pcm_open(&pcm_, device, SND_PCM_STREAM_CAPTURE, 0);
  if (err < 0)
    pcm_ = nullptr;
  return err;
}

void LAlsaPcm::Close()
{
  if (pcm_ != nullptr) {
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }
}

bool LSoundRecLLALSA::Open(const LSoundRecordDevice& device, const LSoundSink& format)
{
  Close();
  const int rate = format.GetSampleRate();
  const int channels = format.GetChannels();
  int frames = rate / 10;
  frames = frames < kMinBlockFrames ? kMinBlockFrames : (frames > kMaxBlockFrames ? kMaxBlockFrames : frames);
  blockFrames_ = frames;
  blockSamples_ = frames * channels;
  buffer_.reset(new (std::nothrow) LSF16[static_cast<size_t>(blockSamples_)]);
  if (buffer_ == nullptr)
    return false;

  char name[32];
  std::snprintf(name, sizeof name, "hw:%d", device.GetListNumber());
  if (pcm_.OpenCapture(name) < 0) {
    char cardName[260];
    device.GetDeviceName(cardName);
    char message[512];
    std::snprintf(message, sizeof message,
                  "Velorin could not open %s. Check to see if another application is using your sound device.",
                  cardName[0] != 0 ? cardName : name);
    gOpenFailureReporter.load()(message);
    Close();
    return false;
  }
  if (!SetHardwareParameters(name, static_cast<unsigned int>(rate), static_cast<unsigned int>(channels))) {
    Close();
    return false;
  }
  return true;
}

// The order of the steps matters to some drivers and is kept as is: the
// buffer is asked for a quarter of what the period steps granted.
bool LSoundRecLLALSA::SetHardwareParameters(const char* name, unsigned int rate, unsigned int channels)
{
  snd_pcm_t* pcm = pcm_.Get();
  LHwParams params;
  if (params.Get() == nullptr)
    return false;
  snd_pcm_hw_params_t* p = params.Get();
  unsigned int grantedRate = rate;
  snd_pcm_uframes_t periodFrames = kPeriodFrames;
  unsigned int periods = kPeriods;
  unsigned int grantedChannels = channels;
  int dir = 0;
  if (snd_pcm_hw_params_any(pcm, p) < 0 || snd_pcm_hw_params_set_access(pcm, p, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm, p, SND_PCM_FORMAT_S16_LE) < 0 ||
      snd_pcm_hw_params_set_rate_near(pcm, p, &grantedRate, &dir) < 0 ||
      snd_pcm_hw_params_set_period_size_near(pcm, p, &periodFrames, &dir) < 0 ||
      snd_pcm_hw_params_set_periods_near(pcm, p, &periods, &dir) < 0)
    return false;
  snd_pcm_uframes_t bufferFrames = (periods * periodFrames) / 4;
  if (snd_pcm_hw_params_set_buffer_size_near(pcm, p, &bufferFrames) < 0 ||
      snd_pcm_hw_params_set_channels_near(pcm, p, &grantedChannels) < 0)
    return false;
  if (grantedChannels != channels) {
    LOGERRORF("Sound card %s cannot capture %u channels.", name, channels);
    return false;
  }
  if (snd_pcm_hw_params(pcm, p) < 0 || snd_pcm_prepare(pcm) < 0)
    return false;
  if (grantedRate != rate)
    LOGWARNF("Sound card %s captures at %u Hz instead of %u Hz.", name, grantedRate, rate);
  return true;
}

bool LSoundRecLLALSA::WaitForDataAndRead(LThread& thread, int* block)
{
  if (thread.IsToStop() || pcm_.Get() == nullptr)
    return false;
  unsigned int retryDelay = 0;
  int done = 0;
  while (done < blockFrames_) {
    const int channels = blockSamples_ / blockFrames_;
    snd_pcm_sframes_t got = snd_pcm_readi(pcm_.Get(), buffer_.get() + static_cast<size_t>(done) * channels,
                                          static_cast<snd_pcm_uframes_t>(blockFrames_ - done));
    if (got >= 0) {
      done += static_cast<int>(got);
      retryDelay = 0;
      continue;
    }
    snd_pcm_prepare(pcm_.Get());
    // An overrun is over once prepared; a card failing again and again
    // (unplugged) is given a growing pause instead of a busy loop.  The
    // pause ends at once on a stop request.
    if (got != -EPIPE || retryDelay > 0) {
      retryDelay = retryDelay == 0 ? kFirstRetryDelayMs
                                   : (retryDelay * 2 > kMaxRetryDelayMs ? kMaxRetryDelayMs : retryDelay * 2);
      thread.Wait(retryDelay);
    }
    if (thread.IsToStop())
      return false;
  }
  ConvertSamplesIn<LSF16>(block, buffer_.get(), blockSamples_);
  return true;
}

void LSoundRecLLALSA::Close()
{
  pcm_.Close();
  buffer_.reset();
}
