// PCM half of the test sound cards: an ALSA I/O plugin that captures the
// signal configured for its card in real time.  A timerfd paces it and is the
// descriptor ALSA polls; the hardware position is the wall-clock time since
// the stream started, in frames, so a reader that is late by a whole buffer
// gets an overrun as on a real card.
//
// ALSA calls every callback from the thread that uses the PCM (start, stop,
// pointer and transfer under the PCM's own lock), so the fields need no lock.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <poll.h>
#include <sys/timerfd.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "testcard.h"
#include "testsignal.h"
#include "base/uniquefd.h"

namespace {

constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kNsPerMs = 1000000;
// The timer ticks once a period, but at least every 10 ms so that a reader
// asking for less than a period is served promptly, and at most every 1 ms.
constexpr int64_t kMaxTickNs = 10 * kNsPerMs;
constexpr int64_t kMinTickNs = 1 * kNsPerMs;

// Limits offered to applications: from tiny periods to buffers of about 24 s.
constexpr unsigned kFrameBytes = LTestSignal::kChannels * 2;
constexpr unsigned kMinPeriodFrames = 16;
constexpr unsigned kMaxPeriodFrames = 1u << 18;
constexpr unsigned kMinPeriods = 2;
constexpr unsigned kMaxPeriods = 1024;
constexpr unsigned kMaxBufferFrames = 1u << 20;

int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

uint64_t NsToFrames(int64_t ns) {
  if (ns <= 0)
    return 0;
  return static_cast<uint64_t>(static_cast<unsigned __int128>(ns) * LTestSignal::kRate / kNsPerSecond);
}

class LTestPcm {
public:
  static int Open(snd_pcm_t** pcmp, const char* name, int card, int device, snd_pcm_stream_t stream,
                  int mode);

private:
  LTestPcm() = default;
  int Create(const char* name, int card, int device, snd_pcm_stream_t stream, int mode);
  int SetConstraints();

  static LTestPcm* Self(snd_pcm_ioplug_t* io) { return static_cast<LTestPcm*>(io->private_data); }
  static int CbStart(snd_pcm_ioplug_t* io);
  static int CbStop(snd_pcm_ioplug_t* io);
  static snd_pcm_sframes_t CbPointer(snd_pcm_ioplug_t* io);
  static snd_pcm_sframes_t CbTransfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                      snd_pcm_uframes_t offset, snd_pcm_uframes_t size);
  static int CbClose(snd_pcm_ioplug_t* io);
  static int CbPrepare(snd_pcm_ioplug_t* io);
  static int CbPollRevents(snd_pcm_ioplug_t* io, pollfd* pfd, unsigned int nfds, unsigned short* revents);

  // Frames the card has captured since the start: wall-clock time, frozen
  // at the moment a failing card fails.
  uint64_t Produced(int64_t now) const;
  bool Failing(int64_t now) const;
  int ArmTimer(int64_t intervalNs);

  static const snd_pcm_ioplug_callback_t kCallbacks;

  snd_pcm_ioplug_t io_{};
  LTestCard card_;
  LTestSignal signal_;
  LUniqueFD timer_;
  bool running_ = false;
  bool xrun_ = false;         // overrun reported; cleared by prepare
  int64_t startNs_ = 0;
  uint64_t consumed_ = 0;     // frames handed to the reader since the start
  uint64_t signalFrame_ = 0;  // next frame of the signal, continuous over restarts
  snd_pcm_uframes_t position_ = 0;  // last hardware position reported
};

const snd_pcm_ioplug_callback_t LTestPcm::kCallbacks = {
    .start = CbStart,
    .stop = CbStop,
    .pointer = CbPointer,
    .transfer = CbTransfer,
    .close = CbClose,
    .hw_params = nullptr,
    .hw_free = nullptr,
    .sw_params = nullptr,
    .prepare = CbPrepare,
    .drain = nullptr,
    .pause = nullptr,
    .resume = nullptr,
    .poll_descriptors_count = nullptr,
    .poll_descriptors = nullptr,
    .poll_revents = CbPollRevents,
    .dump = nullptr,
    .delay = nullptr,
    .query_chmaps = nullptr,
    .get_chmap = nullptr,
    .set_chmap = nullptr,
};

int LTestPcm::Open(snd_pcm_t** pcmp, const char* name, int card, int device, snd_pcm_stream_t stream,
                   int mode) {
  LTestPcm* self = new (std::nothrow) LTestPcm;
  if (self == nullptr)
    return -ENOMEM;
  int err = self->Create(name, card, device, stream, mode);
  if (err < 0) {
    // Before snd_pcm_ioplug_create succeeded nothing else owns the object;
    // after it, deleting the ioplug runs CbClose, which frees it.
    if (self->io_.pcm != nullptr)
      snd_pcm_ioplug_delete(&self->io_);
    else
      delete self;
    return err;
  }
  *pcmp = self->io_.pcm;
  return 0;
}

int LTestPcm::Create(const char* name, int card, int device, snd_pcm_stream_t stream, int mode) {
  int err = card_.Load(card);
  if (err < 0)
    return err;
  // Each card has one capture device.
  if (device != 0)
    return -ENODEV;
  if (stream != SND_PCM_STREAM_CAPTURE)
    return -ENODEV;
  if (card_.Refuses())
    return -EBUSY;
  err = signal_.Parse(card_.Signal());
  if (err < 0) {
    SNDERR("velorintest: card %d: bad signal \"%s\"", card, card_.Signal());
    return err;
  }

  timer_.Reset(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
  if (!timer_.IsValid())
    return -errno;

  io_.version = SND_PCM_IOPLUG_VERSION;
  io_.name = "Velorin test card";
  io_.flags = SND_PCM_IOPLUG_FLAG_MONOTONIC;
  io_.poll_fd = timer_.Get();
  io_.poll_events = POLLIN;
  io_.mmap_rw = 0;
  io_.callback = &kCallbacks;
  io_.private_data = this;
  err = snd_pcm_ioplug_create(&io_, name, stream, mode);
  if (err < 0) {
    io_.pcm = nullptr;
    return err;
  }
  return SetConstraints();
}

int LTestPcm::SetConstraints() {
  static const unsigned kAccess[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned kFormats[] = {SND_PCM_FORMAT_S16_LE};
  struct MinMax {
    int param;
    unsigned min, max;
  };
  static const MinMax kRanges[] = {
      {SND_PCM_IOPLUG_HW_CHANNELS, LTestSignal::kChannels, LTestSignal::kChannels},
      {SND_PCM_IOPLUG_HW_RATE, LTestSignal::kRate, LTestSignal::kRate},
      {SND_PCM_IOPLUG_HW_PERIOD_BYTES, kMinPeriodFrames * kFrameBytes, kMaxPeriodFrames * kFrameBytes},
      {SND_PCM_IOPLUG_HW_PERIODS, kMinPeriods, kMaxPeriods},
      {SND_PCM_IOPLUG_HW_BUFFER_BYTES, kMinPeriods * kMinPeriodFrames * kFrameBytes, kMaxBufferFrames * kFrameBytes},
  };
  int err = snd_pcm_ioplug_set_param_list(&io_, SND_PCM_IOPLUG_HW_ACCESS, 1, kAccess);
  if (err >= 0)
    err = snd_pcm_ioplug_set_param_list(&io_, SND_PCM_IOPLUG_HW_FORMAT, 1, kFormats);
  for (const MinMax& range : kRanges) {
    if (err >= 0)
      err = snd_pcm_ioplug_set_param_minmax(&io_, range.param, range.min, range.max);
  }
  return err < 0 ? err : 0;
}

uint64_t LTestPcm::Produced(int64_t now) const {
  int64_t elapsed = now - startNs_;
  if (card_.FaultKind() == LTestCard::Fault::Fail && elapsed > card_.FaultMs() * kNsPerMs)
    elapsed = card_.FaultMs() * kNsPerMs;
  return NsToFrames(elapsed);
}

bool LTestPcm::Failing(int64_t now) const {
  return card_.FaultKind() == LTestCard::Fault::Fail && now - startNs_ >= card_.FaultMs() * kNsPerMs;
}

int LTestPcm::ArmTimer(int64_t intervalNs) {
  itimerspec spec{};
  spec.it_interval.tv_sec = intervalNs / kNsPerSecond;
  spec.it_interval.tv_nsec = intervalNs % kNsPerSecond;
  spec.it_value = spec.it_interval;
  return timerfd_settime(timer_.Get(), 0, &spec, nullptr) < 0 ? -errno : 0;
}

int LTestPcm::CbStart(snd_pcm_ioplug_t* io) {
  LTestPcm* self = Self(io);
  int64_t periodNs = static_cast<int64_t>(io->period_size) * kNsPerSecond / LTestSignal::kRate;
  int64_t tickNs = periodNs < kMinTickNs ? kMinTickNs : periodNs > kMaxTickNs ? kMaxTickNs : periodNs;
  int err = self->ArmTimer(tickNs);
  if (err < 0)
    return err;
  self->startNs_ = NowNs();
  self->consumed_ = 0;
  self->position_ = 0;
  self->xrun_ = false;
  self->running_ = true;
  return 0;
}

int LTestPcm::CbStop(snd_pcm_ioplug_t* io) {
  LTestPcm* self = Self(io);
  self->running_ = false;
  return self->ArmTimer(0);
}

snd_pcm_sframes_t LTestPcm::CbPointer(snd_pcm_ioplug_t* io) {
  LTestPcm* self = Self(io);
  if (!self->running_)
    return static_cast<snd_pcm_sframes_t>(self->position_);
  if (self->xrun_)
    return -EPIPE;
  int64_t now = NowNs();
  uint64_t produced = self->Produced(now);
  bool scheduled = self->card_.FaultKind() == LTestCard::Fault::Overrun &&
                   now - self->startNs_ >= self->card_.FaultMs() * kNsPerMs;
  // A full buffer is an overrun, as ALSA's default stop threshold has it.
  if (scheduled || produced - self->consumed_ >= io->buffer_size) {
    self->xrun_ = true;
    return -EPIPE;
  }
  self->position_ = static_cast<snd_pcm_uframes_t>(produced % io->buffer_size);
  return static_cast<snd_pcm_sframes_t>(self->position_);
}

snd_pcm_sframes_t LTestPcm::CbTransfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                       snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  LTestPcm* self = Self(io);
  self->signal_.Fill(areas, offset, self->signalFrame_, size);
  self->signalFrame_ += size;
  self->consumed_ += size;
  return static_cast<snd_pcm_sframes_t>(size);
}

int LTestPcm::CbClose(snd_pcm_ioplug_t* io) {
  delete Self(io);
  return 0;
}

int LTestPcm::CbPrepare(snd_pcm_ioplug_t* io) {
  LTestPcm* self = Self(io);
  self->running_ = false;
  self->xrun_ = false;
  self->consumed_ = 0;
  self->position_ = 0;
  return self->ArmTimer(0);
}

int LTestPcm::CbPollRevents(snd_pcm_ioplug_t* io, pollfd* pfd, unsigned int nfds, unsigned short* revents) {
  LTestPcm* self = Self(io);
  *revents = 0;
  if (nfds != 1 || pfd[0].fd != self->timer_.Get())
    return -EINVAL;
  uint64_t expirations = 0;
  // Drains the timer so that the next poll waits for the next tick.
  [[maybe_unused]] ssize_t got = read(self->timer_.Get(), &expirations, sizeof expirations);
  if (!self->running_)
    return 0;
  int64_t now = NowNs();
  uint64_t produced = self->Produced(now);
  // Readable as soon as any frame is due, not only at avail_min, so that a
  // blocking read returns as soon as its frames exist.  An overrun is
  // reported as readable so that the reader's next call meets the EPIPE.
  if (self->xrun_ || produced > self->consumed_)
    *revents = POLLIN;
  else if (self->Failing(now))
    *revents = POLLERR;  // ALSA turns an error on a running stream into EIO
  return 0;
}

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(velorintest) {
  (void)root;
  int card = 0;
  int device = 0;
  int err = LTestCard::ParseConfig(conf, &card, &device);
  if (err < 0)
    return err;
  return LTestPcm::Open(pcmp, name, card, device, stream, mode);
}

SND_PCM_PLUGIN_SYMBOL(velorintest);

}  // extern "C"
