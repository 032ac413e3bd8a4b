#include "audio/mp3encode.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "audio/pipe16sink.h"
#include "base/file.h"
#include "settings/settings.h"

namespace {

// Builds a command line in a fixed buffer and remembers whether anything
// had to be cut: a cut command line is never run.
class LCommandLine {
public:
  explicit LCommandLine(char* buffer) : buffer_(buffer) { buffer_[0] = 0; }

  void Add(const char* format, ...) __attribute__((format(printf, 2, 3)))
  {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer_ + length_, kEncoderCommandLineSize - length_, format, args);
    va_end(args);
    if (n < 0 || n >= kEncoderCommandLineSize - length_) {
      overflow_ = true;
      buffer_[length_] = 0;
      return;
    }
    length_ += n;
  }

  // Text in double quotes.  The shell still expands $, ` and \ inside
  // double quotes and a " would end them, so those four are escaped: a file
  // name can never run a command.
  void AddQuoted(const char* text)
  {
    AddChar('"');
    for (const char* p = text; *p != 0; ++p) {
      if (std::strchr("\"\\$`", *p) != nullptr)
        AddChar('\\');
      AddChar(*p);
    }
    AddChar('"');
  }

  // True when the whole command line fitted; otherwise it is emptied.
  bool Finish()
  {
    if (overflow_)
      buffer_[0] = 0;
    return !overflow_;
  }

private:
  void AddChar(char c)
  {
    if (length_ + 1 >= kEncoderCommandLineSize) {
      overflow_ = true;
      return;
    }
    buffer_[length_++] = c;
    buffer_[length_] = 0;
  }

  char* buffer_;
  int length_ = 0;
  bool overflow_ = false;
};

// "-m" letters by channel mode.
constexpr char kModeLetters[] = {'s', 'j', 'f', 'm'};

// Sample-rate snapping: rates inside [low, high] become `to`.
struct LRateSnap {
  int low, high, to;
};
constexpr LRateSnap kRateSnaps[] = {
    {44101, 47999, 44100}, {32001, 44099, 44100}, {24001, 31999, 32000}, {22051, 23999, 22050},
    {16001, 22049, 22050}, {11026, 15999, 11025}, {8001, 11024, 11025},
};

constexpr int kMaxMp3Rate = 48000;
constexpr int kMinMp3Rate = 8000;

// Templates of the live streams, by the rate's channel count.
constexpr int kLiveMonoMaxKbps = 24;

}  // namespace

LMp3EncodeSettings::LMp3EncodeSettings(int bitRate)
    : constantBitRate(true), cbrBitRate(static_cast<uint16_t>(bitRate)), highQuality(true), vbrMinBitRate(32),
      vbrMaxBitRate(128), vbrQuality(4), errorProtection(false), channelMode(bitRate > 24 ? kModeJoint : kModeMono)
{
}

void LMp3EncodeSettings::SaveAsDefaultSettings() const
{
  constexpr const char* kSection = "MP3Encoder";
  LSettingSetBool(kSection, "ConstantBitRate", constantBitRate);
  LSettingSetInt(kSection, "CBRBitRate", cbrBitRate);
  LSettingSetBool(kSection, "HighQuality", highQuality);
  LSettingSetInt(kSection, "VBRMinBitRate", vbrMinBitRate);
  LSettingSetInt(kSection, "VBRMaxBitRate", vbrMaxBitRate);
  LSettingSetInt(kSection, "VBRQuality", vbrQuality);
  LSettingSetBool(kSection, "ErrorProtection", errorProtection);
  LSettingSetInt(kSection, "ChannelMode", channelMode);
}

int LMp3CorrectSampleRate(LMp3EncodeSettings& settings, int rate)
{
  int r = std::min(rate, kMaxMp3Rate);
  // Rates above 160 kbit/s exist only at 32 kHz and up.
  if (settings.GetUpperBitRate() > 160 && rate < 32000)
    return 44100;
  if (settings.GetLowerBitRate() <= 31 && r >= 22051)
    r = 22050;
  for (const LRateSnap& snap : kRateSnaps) {
    if (r >= snap.low && r <= snap.high) {
      r = snap.to;
      break;
    }
  }
  return std::max(r, kMinMp3Rate);
}

bool Mp3CreateEncoderCommandLine(char* commandLine, int& sampleRate, unsigned char& channels, const char* outputFile,
                                 LMp3EncodeSettings& settings, int inputRate, unsigned char inputChannels)
{
  commandLine[0] = 0;
  sampleRate = LMp3CorrectSampleRate(settings, inputRate);
  channels = inputChannels;
  if (settings.GetLowerBitRate() < 24)
    channels = 1;
  char component[260];
  if (!GetComponentPath(kEncoderComponent, component))
    return false;

  LCommandLine line(commandLine);
  line.AddQuoted(component);
  int mode = settings.channelMode;
  if (mode > LMp3EncodeSettings::kModeMono)
    mode = LMp3EncodeSettings::kModeJoint;
  if (settings.GetUpperBitRate() < 24)
    mode = LMp3EncodeSettings::kModeMono;
  if (channels == 1)
    mode = LMp3EncodeSettings::kModeMono;
  else if (mode == LMp3EncodeSettings::kModeMono)
    line.Add(" -a");  // the encoder mixes the stereo input down
  line.Add(" -m %c", kModeLetters[mode]);
  if (settings.errorProtection)
    line.Add(" -p");
  if (settings.constantBitRate) {
    line.Add(" -b %d", settings.cbrBitRate);
    if (settings.highQuality)
      line.Add(" -h");
  } else {
    line.Add(" -v -b %d -B %d -V %d", settings.vbrMinBitRate, settings.vbrMaxBitRate, settings.vbrQuality);
  }
  line.Add(" -r -x -s %d.%.3d -S - ", sampleRate / 1000, sampleRate % 1000);
  line.AddQuoted(outputFile);
  return line.Finish();
}

bool Mp3CreateLiveCommandLine(char* commandLine, int kbps)
{
  commandLine[0] = 0;
  char component[260];
  if (!GetComponentPath(kEncoderComponent, component))
    return false;
  LCommandLine line(commandLine);
  line.AddQuoted(component);
  if (kbps <= kLiveMonoMaxKbps)
    line.Add(" -m m -a -b %d -h -r -x -s 44.100 --silent - -", kbps);
  else
    line.Add(" -m s -b %d -h -r -x -s 44.100 --silent - -", kbps);
  return line.Finish();
}

LSoundSink OpenMp3Sink(const char* outputFile, LMp3EncodeSettings& settings, int inputRate, unsigned char inputChannels)
{
  char commandLine[kEncoderCommandLineSize];
  int rate = 0;
  unsigned char channels = 0;
  if (!Mp3CreateEncoderCommandLine(commandLine, rate, channels, outputFile, settings, inputRate, inputChannels))
    return LSoundSink();
  return LSoundSink(new LPipe16Sink(commandLine, rate, channels));
}
