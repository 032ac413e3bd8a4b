#include "wendrik/flacdecoder.h"

#include <FLAC/stream_decoder.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "base/uniquefd.h"
#include "common/fdio.h"
#include "common/report.h"

namespace {

// Owns a FLAC__StreamDecoder.
class LFlacDecoder {
public:
  LFlacDecoder() : decoder_(FLAC__stream_decoder_new()) {}
  ~LFlacDecoder()
  {
    if (decoder_ != nullptr)
      FLAC__stream_decoder_delete(decoder_);
  }
  LFlacDecoder(const LFlacDecoder&) = delete;
  LFlacDecoder& operator=(const LFlacDecoder&) = delete;

  FLAC__StreamDecoder* Get() const { return decoder_; }

private:
  FLAC__StreamDecoder* decoder_;
};

// What the callbacks share with the decoding loop.
struct LFlacDecodeState {
  const char* input = nullptr;
  int fd = -1;
  LWavWriter* wav = nullptr;
  uint64_t declaredFrames = 0;  // 0: the header does not say
  uint64_t decodedFrames = 0;
  bool sawStreamInfo = false;
  bool streamError = false;
  bool writeFailed = false;
  std::vector<int16_t> interleaved;
};

FLAC__StreamDecoderReadStatus ReadCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* client)
{
  auto* state = static_cast<LFlacDecodeState*>(client);
  ssize_t n = ReadSome(state->fd, buffer, *bytes);
  if (n > 0) {
    *bytes = static_cast<size_t>(n);
    return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }
  *bytes = 0;
  if (n == 0)
    return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  ReportError("cannot read '%s': %s", state->input, std::strerror(errno));
  return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
}

void MetadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client)
{
  auto* state = static_cast<LFlacDecodeState*>(client);
  if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO)
    return;
  const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
  state->sawStreamInfo = true;
  state->declaredFrames = info.total_samples;
  // Set here too, so that a stream without a single frame still gives a
  // valid (empty) WAV file of the right format.
  if (!state->wav->SetFormat(info.sample_rate, static_cast<int>(info.channels)))
    state->writeFailed = true;
}

FLAC__StreamDecoderWriteStatus WriteCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                             const FLAC__int32* const buffer[], void* client)
{
  auto* state = static_cast<LFlacDecodeState*>(client);
  const FLAC__FrameHeader& header = frame->header;
  if (!state->wav->SetFormat(header.sample_rate, static_cast<int>(header.channels))) {
    state->writeFailed = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  unsigned channels = header.channels;
  unsigned frames = header.blocksize;
  state->interleaved.resize(static_cast<size_t>(frames) * channels);
  int16_t* out = state->interleaved.data();
  for (unsigned i = 0; i < frames; ++i) {
    for (unsigned c = 0; c < channels; ++c)
      *out++ = ScaleSampleTo16(buffer[c][i], header.bits_per_sample);
  }
  if (!state->wav->Append(state->interleaved.data(), frames)) {
    state->writeFailed = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  state->decodedFrames += frames;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

struct LFlacErrorText {
  FLAC__StreamDecoderErrorStatus status;
  const char* text;
};

constexpr LFlacErrorText kFlacErrors[] = {
    {FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC, "not FLAC data, or damaged"},
    {FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER, "damaged frame header"},
    {FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH, "damaged frame (checksum mismatch)"},
    {FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM, "unsupported stream"},
};

const char* FlacErrorText(FLAC__StreamDecoderErrorStatus status)
{
  for (const LFlacErrorText& row : kFlacErrors) {
    if (row.status == status)
      return row.text;
  }
  return FLAC__StreamDecoderErrorStatusString[status];
}

// libFLAC would skip a damaged frame and go on; the output would then be
// shorter than the source with no sign of it, so the first error fails the
// whole decode.
void ErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client)
{
  auto* state = static_cast<LFlacDecodeState*>(client);
  if (!state->streamError) {
    ReportError("cannot decode '%s': %s", state->input, FlacErrorText(status));
  }
  state->streamError = true;
}

bool StartsWithOggPage(int fd)
{
  char magic[4];
  bool ogg = ::pread(fd, magic, sizeof magic, 0) == 4 && std::memcmp(magic, "OggS", 4) == 0;
  return ogg;
}

}  // namespace

int16_t ScaleSampleTo16(int32_t sample, unsigned bits)
{
  if (bits <= 16)
    return static_cast<int16_t>(sample * (1 << (16 - bits)));
  unsigned shift = bits - 16;
  int64_t rounded = (static_cast<int64_t>(sample) + (int64_t{1} << (shift - 1))) >> shift;
  if (rounded > INT16_MAX)
    return INT16_MAX;
  if (rounded < INT16_MIN)
    return INT16_MIN;
  return static_cast<int16_t>(rounded);
}

bool DecodeFlacFile(const char* input, LWavWriter& wav)
{
  LUniqueFD fd(::open(input, O_RDONLY | O_CLOEXEC));
  if (!fd.IsValid()) {
    ReportError("cannot open '%s': %s", input, std::strerror(errno));
    return false;
  }
  LFlacDecoder decoder;
  if (decoder.Get() == nullptr) {
    ReportError("out of memory");
    return false;
  }
  LFlacDecodeState state;
  state.input = input;
  state.fd = fd.Get();
  state.wav = &wav;
  FLAC__stream_decoder_set_md5_checking(decoder.Get(), true);

  bool ogg = StartsWithOggPage(fd.Get());
  auto init = ogg ? FLAC__stream_decoder_init_ogg_stream : FLAC__stream_decoder_init_stream;
  FLAC__StreamDecoderInitStatus status = init(decoder.Get(), ReadCallback, nullptr, nullptr, nullptr, nullptr,
                                              WriteCallback, MetadataCallback, ErrorCallback, &state);
  if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    ReportError("cannot decode '%s': %s", input, FLAC__StreamDecoderInitStatusString[status]);
    return false;
  }

  bool processed = FLAC__stream_decoder_process_until_end_of_stream(decoder.Get()) != 0;
  FLAC__StreamDecoderState end = FLAC__stream_decoder_get_state(decoder.Get());
  // finish() is where the MD5 signature is compared.
  bool signatureOk = FLAC__stream_decoder_finish(decoder.Get()) != 0;
  if (state.streamError || state.writeFailed)
    return false;
  if (!processed || end != FLAC__STREAM_DECODER_END_OF_STREAM) {
    ReportError("cannot decode '%s': %s", input, FLAC__StreamDecoderStateString[end]);
    return false;
  }
  if (!state.sawStreamInfo) {
    ReportError("cannot decode '%s': no FLAC stream found", input);
    return false;
  }
  if (state.declaredFrames != 0 && state.decodedFrames != state.declaredFrames) {
    ReportError("cannot decode '%s': the file ends after %llu of %llu samples", input,
                static_cast<unsigned long long>(state.decodedFrames),
                static_cast<unsigned long long>(state.declaredFrames));
    return false;
  }
  if (!signatureOk) {
    ReportError("cannot decode '%s': the decoded audio does not match its MD5 signature", input);
    return false;
  }
  return true;
}
