#include "tarnel/vorbisdecoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include "base/uniquefd.h"
#include "common/fdio.h"
#include "common/report.h"
#include "tarnel/oggtail.h"

namespace {

struct LVorbisErrorText {
  int code;
  const char* text;
};

constexpr LVorbisErrorText kVorbisErrors[] = {
    {OV_EREAD, "read error"},
    {OV_ENOTVORBIS, "not an Ogg Vorbis file"},
    {OV_EVERSION, "unsupported Vorbis version"},
    {OV_EBADHEADER, "damaged Vorbis header"},
    {OV_EFAULT, "internal decoder fault"},
    {OV_HOLE, "damaged or missing data"},
    {OV_EBADLINK, "damaged stream link"},
    {OV_EINVAL, "invalid stream"},
    {OV_EIMPL, "unsupported stream feature"},
};

const char* VorbisErrorText(int code)
{
  for (const LVorbisErrorText& row : kVorbisErrors) {
    if (row.code == code)
      return row.text;
  }
  return "decoding error";
}

// Vorbis orders three to eight channels front left, centre, front right,
// then the surrounds, with the LFE last; WAV files put front left, front
// right, centre, LFE, then the surrounds.  Row n - 3 gives, for each WAV
// channel of an n-channel stream, the Vorbis channel it takes.
constexpr int kMaxRemappedChannels = 8;
constexpr int kVorbisToWavOrder[][kMaxRemappedChannels] = {
    {0, 2, 1}, {0, 1, 2, 3}, {0, 2, 1, 3, 4}, {0, 2, 1, 5, 3, 4}, {0, 2, 1, 6, 5, 3, 4}, {0, 2, 1, 7, 5, 6, 3, 4},
};

void ReorderToWav(char* bytes, long size, int channels)
{
  if (channels < 3 || channels > kMaxRemappedChannels)
    return;
  const int* order = kVorbisToWavOrder[channels - 3];
  long frameBytes = 2L * channels;
  char frame[2 * kMaxRemappedChannels];
  for (char* p = bytes; p + frameBytes <= bytes + size; p += frameBytes) {
    std::memcpy(frame, p, static_cast<size_t>(frameBytes));
    for (int c = 0; c < channels; ++c)
      std::memcpy(p + 2 * c, frame + 2 * order[c], 2);
  }
}

// libvorbisfile reads through these so that the descriptor stays owned by
// an LUniqueFD (the close callback is left empty).
size_t ReadCallback(void* data, size_t size, size_t count, void* source)
{
  // One read, not a loop that fills the request: from a pipe, what has
  // arrived is decoded at once.  libvorbisfile asks for bytes (size 1).
  if (size == 0)
    return 0;
  ssize_t n = ReadSome(*static_cast<int*>(source), data, size * count);
  return n > 0 ? static_cast<size_t>(n) / size : 0;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence)
{
  return ::lseek(*static_cast<int*>(source), static_cast<off_t>(offset), whence) < 0 ? -1 : 0;
}

long TellCallback(void* source)
{
  return static_cast<long>(::lseek(*static_cast<int*>(source), 0, SEEK_CUR));
}

// Owns an OggVorbis_File opened on a descriptor it also owns.
class LVorbisFile {
public:
  LVorbisFile() = default;
  ~LVorbisFile()
  {
    if (open_)
      ov_clear(&file_);
  }
  LVorbisFile(const LVorbisFile&) = delete;
  LVorbisFile& operator=(const LVorbisFile&) = delete;

  bool Open(const char* path)
  {
    fd_ = LUniqueFD(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd_.IsValid()) {
      ReportError("cannot open '%s': %s", path, std::strerror(errno));
      return false;
    }
    descriptor_ = fd_.Get();
    ov_callbacks callbacks = {ReadCallback, SeekCallback, nullptr, TellCallback};
    int result = ov_open_callbacks(&descriptor_, &file_, nullptr, 0, callbacks);
    if (result != 0) {
      // A failed open has already released its own state: no ov_clear.
      ReportError("cannot decode '%s': %s", path, VorbisErrorText(result));
      return false;
    }
    open_ = true;
    return true;
  }

  OggVorbis_File* Get() { return &file_; }
  int Descriptor() const { return descriptor_; }

private:
  LUniqueFD fd_;
  int descriptor_ = -1;
  OggVorbis_File file_ = {};
  bool open_ = false;
};

}  // namespace

bool DecodeVorbisFile(const char* input, LWavWriter& wav)
{
  LVorbisFile file;
  if (!file.Open(input))
    return false;

  char buffer[16384];
  int currentLink = -1;
  for (;;) {
    int link = 0;
    // Little-endian, 16-bit, signed: the WAV sample layout.
    long n = ov_read(file.Get(), buffer, sizeof buffer, 0, 2, 1, &link);
    if (n == 0) {
      if (OggFileEndsWithStreamEnd(file.Descriptor()))
        return true;
      ReportError("cannot decode '%s': the file is cut short", input);
      return false;
    }
    if (n < 0) {
      ReportError("cannot decode '%s': %s", input, VorbisErrorText(static_cast<int>(n)));
      return false;
    }
    if (link != currentLink) {
      vorbis_info* info = ov_info(file.Get(), link);
      if (info == nullptr || !wav.SetFormat(info->rate, info->channels))
        return false;
      currentLink = link;
    }
    ReorderToWav(buffer, n, wav.Channels());
    if (!wav.AppendLittleEndian(buffer, static_cast<size_t>(n)))
      return false;
  }
}
