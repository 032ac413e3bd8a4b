#include "common/wavwriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/fdio.h"
#include "common/report.h"
#include "common/stopsignals.h"

namespace {

constexpr size_t kHeaderBytes = 44;
constexpr size_t kBufferBytes = 1 << 16;
// The RIFF size field counts the 36 header bytes after it plus the data.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void PutLE16(unsigned char* p, unsigned value)
{
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}

void PutLE32(unsigned char* p, uint32_t value)
{
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The mode open(2) would give a new file: 0666 less the creation mask.
mode_t NewFileMode()
{
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

LWavWriter::~LWavWriter()
{
  Discard();
}

bool LWavWriter::Create(const char* path)
{
  Discard();
  target_ = path;
  std::string pattern = target_ + ".XXXXXX";
  LStopSignalsHeld held;
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    ReportError("cannot create '%s': %s", path, std::strerror(errno));
    return false;
  }
  fd_ = LUniqueFD(fd);
  temporary_ = pattern;
  RemoveOnStop(0, temporary_.c_str());
  dataBytes_ = 0;
  rate_ = 0;
  channels_ = 0;
  buffer_.clear();
  buffer_.reserve(kBufferBytes);
  // Room for the header, written for real once the sizes are known.
  buffer_.resize(kHeaderBytes);
  return true;
}

bool LWavWriter::SetFormat(long rate, int channels)
{
  if (rate <= 0 || rate > 0xFFFFFFFFL / 4 || channels <= 0 || channels > 0x7FFF) {
    ReportError("cannot write %ld Hz with %d channels as WAV", rate, channels);
    return false;
  }
  if (dataBytes_ > 0 && (rate != rate_ || channels != channels_)) {
    ReportError("the stream changes from %ld Hz %d channels to %ld Hz %d channels", rate_, channels_, rate, channels);
    return false;
  }
  rate_ = rate;
  channels_ = channels;
  return true;
}

bool LWavWriter::Reserve(size_t bytes)
{
  if (!fd_.IsValid() || channels_ == 0) {
    ReportError("internal error: samples before the format");
    return false;
  }
  if (dataBytes_ + bytes > kMaxDataBytes) {
    ReportError("the decoded audio is too long for a WAV file (4 GiB)");
    return false;
  }
  if (buffer_.size() + bytes > kBufferBytes && !FlushBuffer())
    return false;
  return true;
}

bool LWavWriter::Append(const int16_t* samples, size_t frames)
{
  size_t count = frames * static_cast<size_t>(channels_);
  // Converted in bounded pieces so that the buffer never grows past its size.
  while (count > 0) {
    size_t piece = count < kBufferBytes / 4 ? count : kBufferBytes / 4;
    if (!Reserve(piece * 2))
      return false;
    size_t at = buffer_.size();
    buffer_.resize(at + piece * 2);
    for (size_t i = 0; i < piece; ++i)
      PutLE16(&buffer_[at + 2 * i], static_cast<uint16_t>(samples[i]));
    dataBytes_ += piece * 2;
    samples += piece;
    count -= piece;
  }
  return true;
}

bool LWavWriter::AppendLittleEndian(const void* bytes, size_t size)
{
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    size_t piece = size < kBufferBytes / 2 ? size : kBufferBytes / 2;
    if (!Reserve(piece))
      return false;
    buffer_.insert(buffer_.end(), p, p + piece);
    dataBytes_ += piece;
    p += piece;
    size -= piece;
  }
  return true;
}

bool LWavWriter::FlushBuffer()
{
  if (buffer_.empty())
    return true;
  if (!WriteAll(fd_.Get(), buffer_.data(), buffer_.size())) {
    ReportError("cannot write '%s': %s", target_.c_str(), std::strerror(errno));
    return false;
  }
  buffer_.clear();
  return true;
}

bool LWavWriter::WriteHeader()
{
  unsigned char header[kHeaderBytes];
  unsigned blockAlign = 2u * static_cast<unsigned>(channels_);
  std::memcpy(header, "RIFF", 4);
  PutLE32(header + 4, static_cast<uint32_t>(36 + dataBytes_));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  PutLE32(header + 16, 16);
  PutLE16(header + 20, 1);
  PutLE16(header + 22, static_cast<unsigned>(channels_));
  PutLE32(header + 24, static_cast<uint32_t>(rate_));
  PutLE32(header + 28, static_cast<uint32_t>(rate_) * blockAlign);
  PutLE16(header + 32, blockAlign);
  PutLE16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  PutLE32(header + 40, static_cast<uint32_t>(dataBytes_));
  if (::pwrite(fd_.Get(), header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    ReportError("cannot write '%s': %s", target_.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

bool LWavWriter::Commit()
{
  if (!fd_.IsValid() || channels_ == 0) {
    ReportError("no audio to write to '%s'", target_.c_str());
    return false;
  }
  if (!FlushBuffer() || !WriteHeader())
    return false;
  if (::fchmod(fd_.Get(), NewFileMode()) != 0 || !fd_.Close()) {
    ReportError("cannot write '%s': %s", target_.c_str(), std::strerror(errno));
    return false;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    ReportError("cannot create '%s': %s", target_.c_str(), std::strerror(errno));
    return false;
  }
  RemoveOnStop(0, nullptr);
  temporary_.clear();
  return true;
}

void LWavWriter::Discard()
{
  fd_.Close();
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    RemoveOnStop(0, nullptr);
    temporary_.clear();
  }
}
