// PCM half of the test sound cards: captures the card's signal in real time, paced by a timerfd that ALSA
// polls; a reader late by a whole buffer gets an overrun.  Callbacks come from the PCM's thread: no lock.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <poll.h>
#include <sys/timerfd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "base/uniquefd.h"
#include "testcard.h"

namespace {

constexpr int64_t kNsPerSecond = 1000000000, kNsPerMs = 1000000;

int64_t NowNs()
{
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

struct LTestPcm {
  snd_pcm_ioplug_t io{};
  LTestCard card;
  LUniqueFD timer{timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)};
  bool running = false;
  bool xrun = false;  // overrun reported; cleared by prepare
  int64_t startNs = 0;
  uint64_t consumed = 0;     // frames handed to the reader since the start
  uint64_t signalFrame = 0;  // next frame of the signal, continuous over restarts
  snd_pcm_uframes_t position = 0;

  // Frames the card has captured since the start; a failing card none.
  uint64_t Produced(int64_t now) const
  {
    return card.fault == LTestCard::Fault::Fail
               ? 0
               : static_cast<uint64_t>(static_cast<unsigned __int128>(now - startNs) * LTestCard::kRate / kNsPerSecond);
  }
  int ArmTimer(int64_t intervalNs)
  {
    itimerspec spec{};
    spec.it_interval = {static_cast<time_t>(intervalNs / kNsPerSecond), static_cast<long>(intervalNs % kNsPerSecond)};
    spec.it_value = spec.it_interval;
    return timerfd_settime(timer.Get(), 0, &spec, nullptr) < 0 ? -errno : 0;
  }
};

LTestPcm* Self(snd_pcm_ioplug_t* io)
{
  return static_cast<LTestPcm*>(io->private_data);
}

int Start(snd_pcm_ioplug_t* io)
{
  LTestPcm* self = Self(io);
  // A tick per period, but between 1 and 10 ms so that short reads are served promptly.
  int64_t tickNs = static_cast<int64_t>(io->period_size) * kNsPerSecond / LTestCard::kRate;
  int err = self->ArmTimer(std::clamp(tickNs, kNsPerMs, 10 * kNsPerMs));
  self->startNs = NowNs();
  self->consumed = self->position = 0;
  self->xrun = false;
  self->running = err == 0;
  return err;
}

// Also the prepare callback: a prepared stream is stopped and has no overrun.
int Stop(snd_pcm_ioplug_t* io)
{
  LTestPcm* self = Self(io);
  self->running = self->xrun = false;
  self->consumed = self->position = 0;
  return self->ArmTimer(0);
}

snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io)
{
  LTestPcm* self = Self(io);
  if (!self->running)
    return static_cast<snd_pcm_sframes_t>(self->position);
  int64_t now = NowNs();
  uint64_t produced = self->Produced(now);
  bool scheduled =
      self->card.fault == LTestCard::Fault::Overrun && now - self->startNs >= self->card.overrunMs * kNsPerMs;
  // A full buffer is an overrun, as ALSA's default stop threshold has it.
  if (self->xrun || scheduled || produced - self->consumed >= io->buffer_size) {
    self->xrun = true;
    return -EPIPE;
  }
  self->position = static_cast<snd_pcm_uframes_t>(produced % io->buffer_size);
  return static_cast<snd_pcm_sframes_t>(self->position);
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                           snd_pcm_uframes_t size)
{
  LTestPcm* self = Self(io);
  for (unsigned c = 0; c < LTestCard::kChannels; ++c)
    for (snd_pcm_uframes_t i = 0; i < size; ++i) {
      int16_t sample = self->card.Sample(self->signalFrame + i, c);
      std::memcpy(static_cast<char*>(areas[c].addr) + (areas[c].first + (offset + i) * areas[c].step) / 8, &sample, 2);
    }
  self->signalFrame += size;
  self->consumed += size;
  return static_cast<snd_pcm_sframes_t>(size);
}

int Close(snd_pcm_ioplug_t* io)
{
  delete Self(io);
  return 0;
}

int PollRevents(snd_pcm_ioplug_t* io, pollfd*, unsigned int, unsigned short* revents)
{
  LTestPcm* self = Self(io);
  uint64_t expirations = 0;
  // Drained, so that the next poll waits for the next tick.
  [[maybe_unused]] ssize_t got = read(self->timer.Get(), &expirations, sizeof expirations);
  // Readable as soon as any frame is due, and on an overrun so that the next
  // read meets the EPIPE; ALSA turns an error on a running stream into EIO.
  *revents = 0;
  if (self->running && (self->xrun || self->Produced(NowNs()) > self->consumed))
    *revents = POLLIN;
  else if (self->running && self->card.fault == LTestCard::Fault::Fail)
    *revents = POLLERR;
  return 0;
}

int Create(LTestPcm* self, const char* name, int card, snd_pcm_stream_t stream, int mode)
{
  static const snd_pcm_ioplug_callback_t kCallbacks = [] {
    snd_pcm_ioplug_callback_t c{};
    c.start = Start, c.stop = Stop, c.pointer = Pointer, c.transfer = Transfer, c.close = Close;
    c.prepare = Stop, c.poll_revents = PollRevents;
    return c;
  }();
  int err = self->card.Load(card);
  if (err < 0 || stream != SND_PCM_STREAM_CAPTURE)
    return err < 0 ? err : -ENODEV;
  if (self->card.refuses)
    return -EBUSY;
  if (!self->timer.IsValid())
    return -EMFILE;
  snd_pcm_ioplug_t& io = self->io;
  io.version = SND_PCM_IOPLUG_VERSION;
  io.name = "Velorin test card";
  io.flags = SND_PCM_IOPLUG_FLAG_MONOTONIC;
  io.poll_fd = self->timer.Get();
  io.poll_events = POLLIN;
  io.callback = &kCallbacks;
  io.private_data = self;
  err = snd_pcm_ioplug_create(&io, name, stream, mode);
  if (err < 0) {
    io.pcm = nullptr;
    return err;
  }
  // S16 stereo at 44.1 kHz, periods from 16 frames to buffers of about 24 s.
  const unsigned access = SND_PCM_ACCESS_RW_INTERLEAVED, format = SND_PCM_FORMAT_S16_LE;
  const struct {
    int param;
    unsigned min, max;
  } ranges[] = {
      {SND_PCM_IOPLUG_HW_CHANNELS, LTestCard::kChannels, LTestCard::kChannels},
      {SND_PCM_IOPLUG_HW_RATE, LTestCard::kRate, LTestCard::kRate},
      {SND_PCM_IOPLUG_HW_PERIOD_BYTES, 16 * 4, (1u << 18) * 4},
      {SND_PCM_IOPLUG_HW_PERIODS, 2, 1024},
      {SND_PCM_IOPLUG_HW_BUFFER_BYTES, 2 * 16 * 4, (1u << 20) * 4},
  };
  err = snd_pcm_ioplug_set_param_list(&io, SND_PCM_IOPLUG_HW_ACCESS, 1, &access);
  if (err >= 0)
    err = snd_pcm_ioplug_set_param_list(&io, SND_PCM_IOPLUG_HW_FORMAT, 1, &format);
  for (const auto& range : ranges)
    if (err >= 0)
      err = snd_pcm_ioplug_set_param_minmax(&io, range.param, range.min, range.max);
  return err < 0 ? err : 0;
}

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(velorintest)
{
  (void)root;
  int card = LTestCard::ParseConfig(conf);
  LTestPcm* self = card < 0 ? nullptr : new (std::nothrow) LTestPcm;
  if (self == nullptr)
    return card < 0 ? card : -ENOMEM;
  int err = Create(self, name, card, stream, mode);
  if (err < 0) {
    // Once the ioplug exists, deleting it runs Close, which frees self.
    if (self->io.pcm != nullptr)
      snd_pcm_ioplug_delete(&self->io);
    else
      delete self;
    return err;
  }
  *pcmp = self->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(velorintest);

}  // extern "C"
