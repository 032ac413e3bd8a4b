#include "sound/dct.h"

#include "base/fileclasses.h"
#include "sound/chunkfile.h"
#include "sound/convertcopy.h"
#include "sound/formaterrors.h"

namespace {

constexpr unsigned int kLockTimeMs = 1000;
constexpr uint16_t kMaxVersion = 3;
constexpr uint32_t kFlagEncrypted = 1u << 1;
constexpr uint32_t kFlagAttachments = 1u << 2;
constexpr int kDetailStrings = 11;

// Little-endian fields of the header; a file that ends early reads zeros,
// which the checks after each field catch or which leave nothing to copy.
class HeaderReader {
public:
  explicit HeaderReader(LReadFileRef& file) : file_(file) {}
  uint8_t Byte() { return file_.ReadUInt8(); }
  uint16_t Word()
  {
    unsigned char b[2] = {};
    file_.Read(b, sizeof b);
    return LLoadLE16(b);
  }
  uint32_t Long() { return file_.ReadUInt32(); }
  void Skip(uint32_t bytes) { file_.SeekOffset(bytes); }
  // A string: its length byte and that many bytes.
  void SkipString() { Skip(Byte()); }

private:
  LReadFileRef& file_;
};

// Walks the header up to the embedded WAV file; false after showing the
// fault.
bool WalkHeader(LProgressRef& progress, LReadFileRef& file)
{
  auto fail = [&progress](LFormatMessage message) {
    progress.SetError(LGetFormatMessage(message));
    return false;
  };
  HeaderReader header(file);
  const uint16_t version = header.Word();
  if (version > kMaxVersion) {
    return fail(LFormatMessage::DctLoadError);
  }
  const uint32_t total = header.Long();
  if (total != file.GetFileSizeBytes()) {
    return fail(LFormatMessage::DctCorrupt);
  }
  progress.SetProgress(0.03);
  const uint32_t flags = header.Long();
  header.Skip(8);
  if (version > 1 && (flags & kFlagEncrypted) != 0) {
    return fail(LFormatMessage::DctEncrypted);
  }
  if (version > 2) {
    uint32_t length = header.Long();
    if (length >= total) {
      return fail(LFormatMessage::DctCorrupt);
    }
    header.Skip(length);
  }
  header.Skip(4);
  for (int i = 0; i < kDetailStrings; ++i) {
    header.SkipString();
  }
  header.Skip(1);
  uint32_t notes = header.Long();
  if (notes > total) {
    return fail(LFormatMessage::DctNotesError);
  }
  header.Skip(notes);
  if ((flags & kFlagAttachments) != 0) {
    int count = header.Byte();
    for (int i = 0; i < count; ++i) {
      header.SkipString();
      uint32_t size = header.Long();
      if (size > total) {
        return fail(LFormatMessage::DctAttachmentTooLarge);
      }
      header.Skip(size);
    }
  }
  if (version > 0) {
    if (header.Byte() == 0) {
      return fail(LFormatMessage::DctZeroChannels);
    }
    header.Skip(4);
  }
  progress.SetProgress(0.06);
  return true;
}

}  // namespace

LDCTDecode::LDCTDecode(const char* sourcePath, const char* wavPath)
{
  tlstrcpy(source_, sourcePath);
  tlstrcpy(wav_, wavPath);
}

LProcessResult LDCTDecode::Run(LProgressRef& progress)
{
  progress.SetStatus1(LGetFormatMessage(LFormatMessage::DctStatus));
  progress.SetStatus2(source_);
  progress.SetProgress(0);
  LReadFile file(source_, kLockTimeMs);
  if (!file) {
    return kProcessFailed;
  }
  if (!WalkHeader(progress, file)) {
    return kProcessFailed;
  }
  LWriteFile wav(wav_);
  if (!wav) {
    return kProcessFailed;
  }
  progress.SetProgress(0.1);
  return LCopyRestWithProgress(progress, file, wav, 0.1);
}
