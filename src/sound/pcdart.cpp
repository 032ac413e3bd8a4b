#include "sound/pcdart.h"

#include <cstring>

#include "base/fileclasses.h"
#include "sound/convertcopy.h"
#include "sound/formaterrors.h"

namespace {

constexpr unsigned int kLockTimeMs = 1000;
constexpr uint32_t kAudioOffset = 1024;
constexpr uint32_t kHeaderBytes = 78;

class HeaderWriter {
public:
  void Text(const char* four) { Put(four, 4); }
  void Long(uint32_t v)
  {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    Put(b, 4);
  }
  void Word(uint16_t v)
  {
    unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    Put(b, 2);
  }
  void Zeros(int count)
  {
    for (int i = 0; i < count; ++i) {
      bytes_[size_++] = 0;
    }
  }
  const unsigned char* Bytes() const { return bytes_; }
  uint32_t Size() const { return size_; }

private:
  void Put(const void* data, uint32_t count)
  {
    memcpy(bytes_ + size_, data, count);
    size_ += count;
  }
  unsigned char bytes_[kHeaderBytes] = {};
  uint32_t size_ = 0;
};

// A WAV header for 8000 Hz mono TrueSpeech (format tag 34).
void BuildHeader(HeaderWriter& h, uint32_t sourceBytes)
{
  h.Text("RIFF");
  h.Long(sourceBytes);
  h.Text("WAVE");
  h.Text("fmt ");
  h.Long(50);
  h.Word(34);    // TrueSpeech
  h.Word(1);     // channels
  h.Long(8000);  // rate
  h.Long(1067);  // bytes per second
  h.Word(32);    // block align
  h.Word(1);     // bits per sample
  h.Word(32);    // extra format bytes
  h.Word(1);
  h.Word(240);
  h.Zeros(28);
  h.Text("data");
  // Clamped: a file shorter than the header must not claim 4 GB of audio.
  h.Long(sourceBytes > kHeaderBytes ? sourceBytes - kHeaderBytes : 0);
}

}  // namespace

LPCDartDecode::LPCDartDecode(const char* sourcePath, const char* wavPath)
{
  tlstrcpy(source_, sourcePath);
  tlstrcpy(wav_, wavPath);
}

LProcessResult LPCDartDecode::Run(LProgressRef& progress)
{
  progress.SetStatus1(LGetFormatMessage(LFormatMessage::DartStatus));
  progress.SetProgress(0);
  LReadFile file(source_, kLockTimeMs);
  if (!file) {
    return kProcessFailed;
  }
  LWriteFile wav(wav_);
  if (!wav) {
    return kProcessFailed;
  }
  HeaderWriter header;
  BuildHeader(header, static_cast<uint32_t>(file.GetFileSizeBytes()));
  static_assert(kHeaderBytes == 78, "RIFF, fmt of 50 bytes, data: 78 bytes");
  if (wav.Write(header.Bytes(), header.Size()) != header.Size()) {
    return kProcessFailed;
  }
  file.Seek(kAudioOffset);
  return LCopyRestWithProgress(progress, file, wav, 0);
}
