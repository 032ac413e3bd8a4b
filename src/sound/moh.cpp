#include "sound/moh.h"

#include "audio/sourcecat.h"
#include "base/file.h"
#include "base/fileclasses.h"
#include "base/formatter.h"
#include "base/stringtools.h"
#include "sound/chunkfile.h"
#include "sound/formaterrors.h"
#include "sound/mohdecompressor.h"
#include "sound/spconvertrate.h"
#include "sound/wavcodecs.h"

namespace {

constexpr int kHeaderBytes = 24;
constexpr int kSegmentHeaderBytes = 12;
constexpr int kInputBytes = 4096;

enum class SegmentEnd { Complete, Last };

// Decodes one segment from the file's current offset into `out`; the file
// is left just after the bytes the segment used.
SegmentEnd DecodeSegment(LReadFileRef& file, int32_t count, bool eightBit, LWriteFileRef& out)
{
  LMOHDecompressor decompressor;
  decompressor.Reset(count, eightBit);
  unsigned char input[kInputBytes];
  for (;;) {
    int got = static_cast<int>(file.Read(input, sizeof input));
    if (got == 0) {
      return SegmentEnd::Last;  // the input ended first
    }
    int used = decompressor.Ucp(input, got, out);
    if (used < got) {
      file.SeekOffset(used - got);
    }
    if (decompressor.Checked()) {
      return decompressor.Error() ? SegmentEnd::Last : SegmentEnd::Complete;
    }
  }
}

}  // namespace

LSoundSource LMOHSource::OpenSource(const char* path, const char* tempFolder)
{
  LReadFile file(path);
  if (!file) {
    return LSoundSource(new LSoundSourceError(kFileErrorOpen));
  }
  unsigned char header[kHeaderBytes];
  if (file.Read(header, sizeof header) != sizeof header || !file.SeekOffset(LLoadLE32(header + 4))) {
    return LSoundSource(new LSoundSourceError(kFileErrorCorrupt));
  }
  char folder[kPathSize];
  if (tempFolder != nullptr && tempFolder[0] != 0) {
    tlstrcpy(folder, tempFolder);
  } else {
    LFile::GetTempFolder(folder);
  }
  LSoundSourceCat cat(LSPConvertSourceRateChannels);
  int segments = 0;
  for (int n = 0; n < kMaxSegments; ++n) {
    unsigned char segment[kSegmentHeaderBytes];
    if (file.Read(segment, sizeof segment) != sizeof segment) {
      break;
    }
    // The sign of the count chooses the mode: positive 8-bit, negative
    // 11-bit.
    int64_t count = static_cast<int32_t>(LLoadLE32(segment + 4));
    bool eightBit = count >= 0;
    count = count < 0 ? -count : count;
    if (count > INT32_MAX) {
      count = INT32_MAX;
    }
    char name[kPathSize];
    tsprintf(name, kPathSize, "%s/%d.aud", folder, n);
    SegmentEnd end;
    {
      LSharedWriteFile out(name);
      if (!out) {
        break;
      }
      end = DecodeSegment(file, static_cast<int32_t>(count), eightBit, out);
    }
    LSharedReadFile decoded(name);
    LSoundSource source(new LSRCPCMFile<LSF16>(decoded, kRate, 1, kPeakPCM, LSRCPCMFileBase::kDataToEnd));
    cat.AddSource(source);
    ++segments;
    if (end == SegmentEnd::Last) {
      break;
    }
  }
  if (segments == 0) {
    // Nothing after the header: not a file of this kind.
    return LSoundSource(new LSoundSourceError(kFileErrorCorrupt));
  }
  return cat.OpenSource(kRate, 1);
}
