#include "sound/wavsink.h"

#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes;

void Store16(unsigned char* b, unsigned int v)
{
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
}

void Store32(unsigned char* b, uint32_t v)
{
  Store16(b, v & 0xFFFF);
  Store16(b + 2, v >> 16);
}

}  // namespace

LWaveFileSink::LWaveFileSink(const char* path, int sampleRate, unsigned char channels)
    : LSoundSinkBase(sampleRate, channels), file_(path)
{
  if (!file_ || sampleRate < 1 || !WriteHeader(0))
    SetError();
}

LWaveFileSink::~LWaveFileSink()
{
  Finish();
}

bool LWaveFileSink::WriteHeader(uint32_t dataBytes)
{
  unsigned char h[kHeaderBytes];
  const unsigned int channels = GetChannels();
  const uint32_t rate = static_cast<uint32_t>(GetSampleRate());
  std::memcpy(h, "RIFF", 4);
  Store32(h + 4, dataBytes + kHeaderBytes - 8);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Store32(h + 16, 16);
  Store16(h + 20, 1);  // PCM
  Store16(h + 22, channels);
  Store32(h + 24, rate);
  Store32(h + 28, rate * 2 * channels);
  Store16(h + 32, 2 * channels);
  Store16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  Store32(h + 40, dataBytes);
  return file_.Seek(0) && file_.Write(h, sizeof h) == sizeof h && file_.Seek(kHeaderBytes + uint64_t{dataBytes});
}

int LWaveFileSink::Write(const int* samples, int frames)
{
  if (Error() || finished_ || frames < 0)
    return -1;
  const std::size_t count = static_cast<std::size_t>(frames) * GetChannels();
  const uint64_t bytes = count * sizeof(LSF16);
  if (dataBytes_ + bytes > kMaxDataBytes) {
    SetError();
    return -1;
  }
  buffer_.resize(count);
  ConvertSamplesOut(buffer_.data(), samples, static_cast<int>(count));
  // The file is little-endian; LSF16 holds host order, which is little-endian
  // on every machine the program is built for.
  static_assert(std::endian::native == std::endian::little);
  if (file_.Write(buffer_.data(), bytes) != bytes) {
    SetError();
    return -1;
  }
  dataBytes_ += bytes;
  position_ += frames;
  return frames;
}

bool LWaveFileSink::Finish()
{
  if (finished_)
    return !Error();
  finished_ = true;
  if (!Error() && !WriteHeader(static_cast<uint32_t>(dataBytes_)))
    SetError();
  file_.Close();
  return !Error();
}
