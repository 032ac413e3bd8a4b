#include "lyrenc/encoderoptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/report.h"

namespace {

bool ParseInt(const char* text, int low, int high, int& value)
{
  if (text[0] == '\0')
    return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high)
    return false;
  value = static_cast<int>(parsed);
  return true;
}

struct LModeLetter {
  const char* letter;
  LChannelMode mode;
};

constexpr LModeLetter kModeLetters[] = {
    {"s", LChannelMode::Stereo},
    {"j", LChannelMode::Joint},
    {"f", LChannelMode::Forced},
    {"m", LChannelMode::Mono},
};

bool SetMode(LEncoderOptions& o, const char* v)
{
  for (const LModeLetter& row : kModeLetters) {
    if (std::strcmp(v, row.letter) == 0) {
      o.mode = row.mode;
      return true;
    }
  }
  return false;
}

// One row per option: the value check and its valid range are in the
// setter, the text after "expects" is what a bad value is told.
struct LEncoderOption {
  const char* name;
  bool (*set)(LEncoderOptions&, const char* value);  // value null for flags
  const char* expects;                               // null for flags
};

constexpr LEncoderOption kOptions[] = {
    {"-m", SetMode, "s, j, f or m"},
    {"-a", [](LEncoderOptions& o, const char*) { return o.downmix = true; }, nullptr},
    {"-b", [](LEncoderOptions& o, const char* v) { return ParseInt(v, 8, 320, o.bitRate); }, "8 to 320 kbit/s"},
    {"-B", [](LEncoderOptions& o, const char* v) { return ParseInt(v, 8, 320, o.maxBitRate); }, "8 to 320 kbit/s"},
    {"-V", [](LEncoderOptions& o, const char* v) { return ParseInt(v, 0, 9, o.vbrQuality); }, "0 to 9"},
    {"-v", [](LEncoderOptions& o, const char*) { return o.variableBitRate = true; }, nullptr},
    {"-h", [](LEncoderOptions& o, const char*) { return o.highQuality = true; }, nullptr},
    {"-p", [](LEncoderOptions& o, const char*) { return o.errorProtection = true; }, nullptr},
    {"-r", [](LEncoderOptions& o, const char*) { return o.rawInput = true; }, nullptr},
    {"-x", [](LEncoderOptions& o, const char*) { return o.littleEndianInput = true; }, nullptr},
    {"-s", [](LEncoderOptions& o, const char* v) { return ParseKilohertz(v, o.inputRate); },
     "a rate in kHz from 1 to 192, e.g. 44.1"},
    {"--silent", [](LEncoderOptions& o, const char*) { return o.silent = true; }, nullptr},
    {"-S", [](LEncoderOptions& o, const char*) { return o.silent = true; }, nullptr},
};

const LEncoderOption* FindOption(const char* name)
{
  for (const LEncoderOption& option : kOptions) {
    if (std::strcmp(option.name, name) == 0)
      return &option;
  }
  return nullptr;
}

bool CheckCombination(const LEncoderOptions& o)
{
  if (!o.rawInput) {
    ReportError("only raw PCM input is read: give -r");
    return false;
  }
  if (o.input == nullptr || o.output == nullptr) {
    ReportError("an input and an output are needed (- for the standard streams)");
    return false;
  }
  if (o.variableBitRate && o.maxBitRate < o.bitRate) {
    ReportError("the VBR maximum (-B %d) is below the minimum (-b %d)", o.maxBitRate, o.bitRate);
    return false;
  }
  return true;
}

}  // namespace

bool ParseKilohertz(const char* text, int& hz)
{
  int whole = 0;
  int digits = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
    if (digits >= 3)
      return false;
    whole = whole * 10 + (*p - '0');
  }
  if (digits == 0)
    return false;
  int thousandths = 0;
  if (*p == '.') {
    ++p;
    int scale = 100;
    int fractionDigits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++fractionDigits) {
      // Digits past the third must be zeros: rates are whole hertz.
      if (scale == 0 && *p != '0')
        return false;
      thousandths += (*p - '0') * scale;
      scale /= 10;
    }
    if (fractionDigits == 0)
      return false;
  }
  if (*p != '\0')
    return false;
  int rate = whole * 1000 + thousandths;
  if (rate < 1000 || rate > 192000)
    return false;
  hz = rate;
  return true;
}

bool ParseEncoderOptions(int argc, char** argv, LEncoderOptions& options)
{
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' || arg[1] == '\0') {
      if (options.input == nullptr) {
        options.input = arg;
      } else if (options.output == nullptr) {
        options.output = arg;
      } else {
        ReportError("unexpected argument '%s' after the input and output", arg);
        return false;
      }
      continue;
    }
    const LEncoderOption* option = FindOption(arg);
    if (option == nullptr) {
      ReportError("unknown option '%s'", arg);
      return false;
    }
    const char* value = nullptr;
    if (option->expects != nullptr) {
      if (i + 1 >= argc) {
        ReportError("option %s needs a value: %s", arg, option->expects);
        return false;
      }
      value = argv[++i];
    }
    if (!option->set(options, value)) {
      ReportError("bad value '%s' for %s: expected %s", value, arg, option->expects);
      return false;
    }
  }
  return CheckCombination(options);
}

void ReportEncoderUsage()
{
  ReportError("usage: %s -r [-x] [-s kHz] [-m s|j|f|m] [-a] [-b kbps] [-v -b min -B max -V 0..9] [-h] [-p]"
              " [--silent|-S] INPUT OUTPUT",
              ProgramName());
}
