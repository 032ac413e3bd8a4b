#include "audio/audioqueue.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>

#include "audio/audiofanout.h"
#include "audio/mp3encode.h"
#include "audio/mp3header.h"
#include "audio/soundbase.h"
#include "base/ticks.h"
#include "settings/log.h"

namespace {

constexpr int kWordsPerSlot = LAudioQueue::kSlotBytes / 8;
// The copying thread looks at its stop request at least this often.
constexpr unsigned int kWaitSliceMs = 200;

}  // namespace

// The bytes are 64-bit words accessed atomically (plain moves on x86), so
// a listener copying a slot that the writer refills reads a mix of old and
// new words, which the sequence check then rejects, rather than a data race.
struct LAudioQueue::LSlot {
  // Number of the chunk held; 0 while being written (chunks count from 1).
  std::atomic<uint64_t> sequence{0};
  std::atomic<int> length{0};
  alignas(64) uint64_t words[kWordsPerSlot] = {};
};

LAudioQueue::LAudioQueue() : slots_(new LSlot[kSlots]), fanout_(std::make_unique<LAudioFanout>(*this)) {}

LAudioQueue::~LAudioQueue()
{
  Stop();
}

void LAudioQueue::Start(int kbps)
{
  Stop();
  bitRate_.store(kbps, std::memory_order_relaxed);
  if (!Mp3CreateLiveCommandLine(commandLine_, kbps))
    return;
  restartDelayMs_ = kEncoderRestartFirstMs;
  {
    std::lock_guard<std::mutex> guard(pipeLock_);
    if (!OpenEncoder())
      return;
  }
  StartHigh();
}

void LAudioQueue::Stop()
{
  StopThreadNow();
  std::lock_guard<std::mutex> guard(pipeLock_);
  encoderPid_.store(-1, std::memory_order_release);
  pipe_.Close();
}

bool LAudioQueue::OpenEncoder()
{
  const bool opened = pipe_.Open(commandLine_);
  encoderPid_.store(opened ? pipe_.GetPid() : -1, std::memory_order_release);
  encoderStartedMs_ = GetMonotonicMs();
  return opened;
}

bool LAudioQueue::RestartEncoder()
{
  // An encoder that closed its output but lives on could hold a Write (and
  // with it the lock) for ever: its process group is ended first.  It has
  // not been reaped, so its id is still its own.
  const pid_t pid = encoderPid_.load(std::memory_order_acquire);
  if (pid > 0)
    kill(-pid, SIGKILL);
  int status;
  {
    std::lock_guard<std::mutex> guard(pipeLock_);
    encoderPid_.store(-1, std::memory_order_release);
    status = pipe_.Close();
  }
  // An encoder that ran for a while gets the short pause again; one that
  // dies at once (a broken component) is not started in a tight loop.
  if (GetMonotonicMs() - encoderStartedMs_ >= kEncoderStableMs)
    restartDelayMs_ = kEncoderRestartFirstMs;
  const int kbps = GetBitRate();
  // The shell reports an encoder killed by signal n as status 128 + n.
  const int code = status < 0 ? -1 : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  LOGERRORF("The %d kbps encoder ended (status %d); starting it again in %u ms.", kbps, code, restartDelayMs_);
  for (;;) {
    if (ProcessWait(restartDelayMs_) != kProcessDone)
      return false;
    restartDelayMs_ = restartDelayMs_ * 2 < kEncoderRestartMaxMs ? restartDelayMs_ * 2 : kEncoderRestartMaxMs;
    std::lock_guard<std::mutex> guard(pipeLock_);
    if (OpenEncoder())
      return true;
  }
}

int LAudioQueue::Write(const int* samples, int frames)
{
  LSF16 pcm[kMaxFramesPerWrite * 2];
  int total = 0;
  for (int done = 0; done < frames;) {
    int n = frames - done < kMaxFramesPerWrite ? frames - done : kMaxFramesPerWrite;
    ConvertSamplesOut<LSF16>(pcm, samples + static_cast<size_t>(done) * 2, n * 2);
    int written;
    {
      std::lock_guard<std::mutex> guard(pipeLock_);
      written = pipe_.Write(pcm, static_cast<unsigned int>(n) * 2 * sizeof(LSF16));
    }
    if (written < 0)
      return -1;
    total += written;
    done += n;
  }
  return total;
}

const unsigned char* LAudioQueue::GetBuffer(unsigned char index) const
{
  return reinterpret_cast<const unsigned char*>(slots_[index % kSlots].words);
}

int LAudioQueue::GetLength(unsigned char index) const
{
  return slots_[index % kSlots].length.load(std::memory_order_acquire);
}

int LAudioQueue::CopyChunk(uint64_t chunk, unsigned char* out) const
{
  if (chunk == 0)
    return -1;
  LSlot& slot = slots_[chunk % kSlots];
  if (slot.sequence.load(std::memory_order_acquire) != chunk)
    return -1;
  int length = slot.length.load(std::memory_order_acquire);
  if (length < 0 || length > kSlotBytes)
    length = 0;
  // Whole words move as single loads and stores; only the last one of an
  // odd length is cut.  Every listener runs this copy on every pass.
  const int whole = length / 8;
  for (int i = 0; i < whole; ++i) {
    const uint64_t word = std::atomic_ref<uint64_t>(slot.words[i]).load(std::memory_order_acquire);
    memcpy(out + i * 8, &word, 8);
  }
  if (length % 8 != 0) {
    const uint64_t word = std::atomic_ref<uint64_t>(slot.words[whole]).load(std::memory_order_acquire);
    memcpy(out + whole * 8, &word, static_cast<size_t>(length % 8));
  }
  // A load above that saw any word of a refill (a release store made after
  // the refill cleared the sequence) makes this load see the cleared or a
  // newer sequence.  The acquire loads also keep it from moving above them.
  if (slot.sequence.load(std::memory_order_relaxed) != chunk)
    return -1;
  return length;
}

void LAudioQueue::Publish(const unsigned char* data, int length)
{
  const uint64_t chunk = published_.load(std::memory_order_relaxed) + 1;
  LSlot& slot = slots_[chunk % kSlots];
  slot.sequence.store(0, std::memory_order_relaxed);
  // Release stores: a listener that sees any new word or the new length
  // also sees the cleared sequence (plain moves on x86).
  const int words = (length + 7) / 8;
  for (int i = 0; i < words; ++i) {
    uint64_t word = 0;
    int bytes = length - i * 8 < 8 ? length - i * 8 : 8;
    memcpy(&word, data + i * 8, static_cast<size_t>(bytes));
    std::atomic_ref<uint64_t>(slot.words[i]).store(word, std::memory_order_release);
  }
  slot.length.store(length, std::memory_order_release);
  slot.sequence.store(chunk, std::memory_order_release);
  published_.store(chunk, std::memory_order_release);
  wake_.Advance();
  fanout_->OnPublished(chunk);
}

void LAudioQueue::ThreadFunction()
{
  // The encoder's output is published in whole MP3 frames: a frame that
  // has only partly arrived waits at the front of `staging` for its rest.
  // So when an encoder dies mid-frame its torn frame is dropped, and the
  // listeners go on from the new encoder's first frame without a fault.
  unsigned char staging[kSlotBytes];
  int held = 0;
  while (!IsToStop()) {
    int ready = pipe_.GetBytesReady();
    if (ready == 0) {
      // Readable with nothing to read: the encoder's output has ended.
      LProcessResult waited = ProcessWaitSignal(LSignalObjectRef(pipe_.GetReadFD()), kWaitSliceMs);
      if (waited == kProcessDone && pipe_.GetBytesReady() == 0) {
        held = 0;
        if (!RestartEncoder())
          return;
      }
      continue;
    }
    int want = ready < kSlotBytes - held ? ready : kSlotBytes - held;
    const int read = pipe_.Read(staging + held, static_cast<unsigned int>(want));
    if (read <= 0)
      continue;
    held += read;
    // What stays held is at most one frame (1,441 bytes at most), so there
    // is always room to read its rest.
    const int whole = MP3WholeFramesLength(staging, held);
    if (whole == 0)
      continue;
    Publish(staging, whole);
    held -= whole;
    memmove(staging, staging + whole, static_cast<size_t>(held));
  }
}
