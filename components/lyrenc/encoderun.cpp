#include "lyrenc/encoderun.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/fdio.h"
#include "common/report.h"
#include "common/stopsignals.h"
#include "lyrenc/mp3rates.h"

namespace {

// One read takes at most this much PCM: 370 ms of 44.1 kHz stereo, well
// above the 100 ms blocks of live capture, so a block is one read.
constexpr size_t kReadBytes = 1 << 16;

bool IsStandardStream(const char* name)
{
  return std::strcmp(name, "-") == 0;
}

void ReportFailure(const char* what)
{
  ReportError("cannot %s: %s", what, std::strerror(errno));
}

}  // namespace

LEncodeRun::~LEncodeRun() = default;

int LEncodeRun::Run()
{
  bool done = OpenInput() && OpenOutput() && Configure() && EncodeInput() && Finish();
  if (done)
    return 0;
  if (outputIsNamedFile_) {
    ownedOutput_.Close();
    ::unlink(options_.output);
  }
  return 1;
}

bool LEncodeRun::OpenInput()
{
  if (IsStandardStream(options_.input))
    return true;
  ownedInput_ = LUniqueFD(::open(options_.input, O_RDONLY | O_CLOEXEC));
  if (!ownedInput_.IsValid()) {
    ReportError("cannot open '%s': %s", options_.input, std::strerror(errno));
    return false;
  }
  input_ = ownedInput_.Get();
  return true;
}

bool LEncodeRun::OpenOutput()
{
  if (IsStandardStream(options_.output))
    return true;
  LStopSignalsHeld held;
  ownedOutput_ = LUniqueFD(::open(options_.output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!ownedOutput_.IsValid()) {
    ReportError("cannot create '%s': %s", options_.output, std::strerror(errno));
    return false;
  }
  output_ = ownedOutput_.Get();
  // A device or pipe given by name is written like a stream: no info
  // frame, and never removed on failure.
  struct stat status;
  outputIsNamedFile_ = ::fstat(output_, &status) == 0 && S_ISREG(status.st_mode);
  if (outputIsNamedFile_)
    RemoveOnStop(0, options_.output);
  return true;
}

bool LEncodeRun::Configure()
{
  int low = RoundToStandardBitRate(options_.bitRate);
  int high = options_.variableBitRate ? RoundToStandardBitRate(options_.maxBitRate) : low;
  int outputRate = ChooseOutputRate(options_.inputRate, low, high);
  if (outputRate == 0) {
    ReportError("no MP3 sample rate allows %d to %d kbit/s", low, high);
    return false;
  }
  NarrowBitRatesTo(outputRate, low, high);
  // The info frame is rewritten at the end, which needs a file we opened
  // ourselves at offset 0; a stream carries plain frames only.
  if (!lame_.Configure(options_, outputRate, low, high, outputIsNamedFile_))
    return false;
  if (!options_.silent) {
    char bitRates[32];
    std::snprintf(bitRates, sizeof bitRates, options_.variableBitRate ? "VBR %d to %d" : "CBR %d", low, high);
    ReportError("%d Hz %s in, %d Hz %s out, %s kbit/s", options_.inputRate,
                options_.InputChannels() == 1 ? "mono" : "stereo", outputRate,
                options_.MonoOutput() ? "mono" : "stereo", bitRates);
  }
  size_t frameBytes = 2u * static_cast<size_t>(options_.InputChannels());
  inputBytes_.resize(kReadBytes + frameBytes);
  samples_.resize(kReadBytes / 2 + static_cast<size_t>(options_.InputChannels()));
  mp3_.resize(lame_.MaxBytesFor(static_cast<int>((kReadBytes + frameBytes) / frameBytes)));
  return true;
}

void LEncodeRun::ConvertSamples(const unsigned char* bytes, size_t count)
{
  int first = options_.littleEndianInput ? 0 : 1;
  for (size_t i = 0; i < count; ++i) {
    unsigned value = static_cast<unsigned>(bytes[2 * i + first]) | static_cast<unsigned>(bytes[2 * i + 1 - first]) << 8;
    samples_[i] = static_cast<int16_t>(value);
  }
}

bool LEncodeRun::EncodeInput()
{
  size_t frameBytes = 2u * static_cast<size_t>(options_.InputChannels());
  // A read may end inside a frame; the rest of it comes with the next read.
  size_t carried = 0;
  for (;;) {
    ssize_t n = ReadSome(input_, inputBytes_.data() + carried, kReadBytes);
    if (n < 0) {
      ReportFailure("read the input");
      return false;
    }
    if (n == 0)
      break;
    size_t available = carried + static_cast<size_t>(n);
    size_t frames = available / frameBytes;
    if (frames > 0) {
      ConvertSamples(inputBytes_.data(), frames * frameBytes / 2);
      int size = lame_.Encode(samples_.data(), static_cast<int>(frames), mp3_.data(), mp3_.size());
      if (size < 0) {
        ReportError("libmp3lame failed to encode (%d)", size);
        return false;
      }
      if (!WriteOutput(mp3_.data(), static_cast<size_t>(size)))
        return false;
    }
    carried = available - frames * frameBytes;
    std::memmove(inputBytes_.data(), inputBytes_.data() + frames * frameBytes, carried);
  }
  if (carried != 0 && !options_.silent)
    ReportError("input ends inside a sample frame; %zu bytes dropped", carried);
  return true;
}

bool LEncodeRun::Finish()
{
  int size = lame_.Flush(mp3_.data(), mp3_.size());
  if (size < 0) {
    ReportError("libmp3lame failed to flush (%d)", size);
    return false;
  }
  if (!WriteOutput(mp3_.data(), static_cast<size_t>(size)))
    return false;
  if (outputIsNamedFile_) {
    unsigned char frame[2880];
    size_t frameSize = lame_.InfoFrame(frame, sizeof frame);
    if (frameSize > 0 && ::pwrite(output_, frame, frameSize, 0) != static_cast<ssize_t>(frameSize)) {
      ReportError("cannot write '%s': %s", options_.output, std::strerror(errno));
      return false;
    }
    if (!ownedOutput_.Close()) {
      ReportError("cannot write '%s': %s", options_.output, std::strerror(errno));
      return false;
    }
  }
  return true;
}

bool LEncodeRun::WriteOutput(const unsigned char* data, size_t size)
{
  if (size == 0 || WriteAll(output_, data, size))
    return true;
  // A reader that went away is how a live stream normally ends; it is
  // reported only when the user asked to hear about things.
  if (errno == EPIPE) {
    if (!options_.silent)
      ReportError("the output was closed");
  } else {
    ReportFailure("write the output");
  }
  return false;
}
