#include "lyrenc/lameencoder.h"

#include <cstdarg>
#include <cstdio>
#include <lame/lame.h>

#include "common/report.h"

namespace {

// libmp3lame's errors go to standard error with our prefix; its chatter
// and debug output are dropped.
void LameError(const char* format, va_list args)
{
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  ReportError("libmp3lame: %s", text);
}

void LameQuiet(const char*, va_list) {}

struct LModeSetting {
  LChannelMode mode;
  MPEG_mode lameMode;
  bool forceMidSide;
};

constexpr LModeSetting kModeSettings[] = {
    {LChannelMode::Stereo, STEREO, false},
    {LChannelMode::Joint, JOINT_STEREO, false},
    {LChannelMode::Forced, JOINT_STEREO, true},
    {LChannelMode::Mono, MONO, false},
};

// libmp3lame's quality scale: 0 best and slowest .. 9 worst and fastest.
constexpr int kHighQuality = 2;
constexpr int kNormalQuality = 5;

}  // namespace

LLameEncoder::LLameEncoder() : lame_(lame_init()) {}

LLameEncoder::~LLameEncoder()
{
  if (lame_ != nullptr)
    lame_close(lame_);
}

bool LLameEncoder::Configure(const LEncoderOptions& options, int outputRate, int low, int high, bool infoTag)
{
  if (lame_ == nullptr) {
    ReportError("cannot start libmp3lame");
    return false;
  }
  lame_set_errorf(lame_, LameError);
  lame_set_msgf(lame_, LameQuiet);
  lame_set_debugf(lame_, LameQuiet);

  inputChannels_ = options.InputChannels();
  lame_set_in_samplerate(lame_, options.inputRate);
  lame_set_num_channels(lame_, inputChannels_);
  lame_set_out_samplerate(lame_, outputRate);
  upsampling_ = outputRate > options.inputRate ? (outputRate + options.inputRate - 1) / options.inputRate : 1;

  LChannelMode mode = options.MonoOutput() ? LChannelMode::Mono : options.mode;
  for (const LModeSetting& row : kModeSettings) {
    if (row.mode == mode) {
      lame_set_mode(lame_, row.lameMode);
      lame_set_force_ms(lame_, row.forceMidSide ? 1 : 0);
    }
  }

  if (options.variableBitRate) {
    lame_set_VBR(lame_, vbr_default);
    lame_set_VBR_min_bitrate_kbps(lame_, low);
    lame_set_VBR_max_bitrate_kbps(lame_, high);
    lame_set_VBR_q(lame_, options.vbrQuality);
    // Without this the minimum is only a hint that silence may undercut.
    lame_set_VBR_hard_min(lame_, 1);
  } else {
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, low);
  }
  lame_set_quality(lame_, options.highQuality ? kHighQuality : kNormalQuality);
  lame_set_error_protection(lame_, options.errorProtection ? 1 : 0);
  lame_set_bWriteVbrTag(lame_, infoTag ? 1 : 0);
  // A stream is MP3 frames only: no ID3 tag is ever written.
  lame_set_write_id3tag_automatic(lame_, 0);

  if (lame_init_params(lame_) < 0) {
    ReportError("libmp3lame refuses %d Hz %s at %d kbit/s", outputRate, options.MonoOutput() ? "mono" : "stereo", low);
    return false;
  }
  return true;
}

int LLameEncoder::Encode(const int16_t* samples, int frames, unsigned char* mp3, size_t capacity)
{
  int size = static_cast<int>(capacity);
  if (inputChannels_ == 1) {
    // For one channel libmp3lame reads only the left buffer.
    return lame_encode_buffer(lame_, samples, samples, frames, mp3, size);
  }
  // The input is const; libmp3lame's prototype just does not say so.
  return lame_encode_buffer_interleaved(lame_, const_cast<int16_t*>(samples), frames, mp3, size);
}

int LLameEncoder::Flush(unsigned char* mp3, size_t capacity)
{
  return lame_encode_flush(lame_, mp3, static_cast<int>(capacity));
}

size_t LLameEncoder::InfoFrame(unsigned char* buffer, size_t capacity)
{
  size_t size = lame_get_lametag_frame(lame_, buffer, capacity);
  return size <= capacity ? size : 0;
}

size_t LLameEncoder::MaxBytesFor(int frames) const
{
  // libmp3lame's own bound for one call, 1.25 bytes per sample plus 7200,
  // counted in output samples.
  return static_cast<size_t>(frames) * static_cast<size_t>(upsampling_) * 5 / 4 + 7200;
}
