// velorin-rec: manages the recordings library without the desktop (on a
// headless server): adds files (converted into both bit rates), lists and
// removes recordings, and decodes any readable file into a WAV file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "sound/rawsettings.h"
#include "tools/velorinrec/reccommands.h"

namespace {

void PrintHelp(FILE* out)
{
  std::fprintf(out, "Usage: velorin-rec COMMAND [OPTIONS] [ARGUMENTS]\n"
                    "\n"
                    "Commands:\n"
                    "  add [OPTIONS] FILE...   convert each file into the recordings library at the\n"
                    "                          broadband and dial-up bit rates of the settings\n"
                    "  list                    list the recordings\n"
                    "  remove NAME...          remove recordings (both bit rates)\n"
                    "  decode FILE OUT.wav [--rate R] [--channels C]\n"
                    "                          decode FILE into a 16-bit PCM WAV file\n"
                    "  --help                  show this text\n"
                    "\n"
                    "Options of add (stored as the defaults for headerless files):\n"
                    "  --raw-rate R, --raw-channels C, --raw-codec N   for .raw and .snd files\n"
                    "  --vox-rate R, --vox-channels C, --vox-codec N   for .vox files\n"
                    "Codecs:\n");
  for (int codec = 0; codec < kRawCodecCount; ++codec)
    std::fprintf(out, "  %d  %s\n", codec, LRawSettings::GetCodecName(codec));
}

int Usage(const char* text, const char* detail = "")
{
  std::fprintf(stderr, "velorin-rec: %s%s\nTry \"velorin-rec --help\".\n", text, detail);
  return kExitUsage;
}

// A whole decimal number within [low, high].
bool ParseNumber(const char* text, int low, int high, int& value)
{
  if (text == nullptr || *text == 0)
    return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || *end != 0 || parsed < low || parsed > high)
    return false;
  value = static_cast<int>(parsed);
  return true;
}

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;
constexpr int kMaxChannels = 8;

// One settings option of add: which field of which settings it sets.
struct LRawOption {
  const char* name;
  bool vox;
  int LRawSettings::*field;
  int low;
  int high;
};

constexpr LRawOption kRawOptions[] = {
    {"--raw-rate", false, &LRawSettings::sampleRate, kMinRate, kMaxRate},
    {"--raw-codec", false, &LRawSettings::codec, 0, kRawCodecCount - 1},
    {"--vox-rate", true, &LRawSettings::sampleRate, kMinRate, kMaxRate},
    {"--vox-codec", true, &LRawSettings::codec, 0, kRawCodecCount - 1},
};

int Add(int argc, char** argv)
{
  LRawSettings raw;
  raw.Load(kRawAudioSection);
  LVoxSettings vox;
  vox.Load();
  bool rawChanged = false;
  bool voxChanged = false;
  std::vector<const char*> files;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) {
      files.insert(files.end(), argv + i + 1, argv + argc);
      break;
    }
    if (std::strncmp(arg, "--", 2) != 0) {
      files.push_back(arg);
      continue;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool channels = std::strcmp(arg, "--raw-channels") == 0 || std::strcmp(arg, "--vox-channels") == 0;
    if (channels) {
      int count = 0;
      if (!ParseNumber(value, 1, kMaxChannels, count))
        return Usage("a channel count from 1 to 8 must follow ", arg);
      bool isVox = arg[2] == 'v';
      LRawSettings* target = isVox ? static_cast<LRawSettings*>(&vox) : &raw;
      target->channels = static_cast<unsigned char>(count);
      (isVox ? voxChanged : rawChanged) = true;
      ++i;
      continue;
    }
    const LRawOption* option = nullptr;
    for (const LRawOption& o : kRawOptions) {
      if (std::strcmp(arg, o.name) == 0)
        option = &o;
    }
    if (option == nullptr)
      return Usage("unknown option ", arg);
    int number = 0;
    if (!ParseNumber(value, option->low, option->high, number))
      return Usage("a value out of range or missing after ", arg);
    LRawSettings* target = option->vox ? static_cast<LRawSettings*>(&vox) : &raw;
    target->*(option->field) = number;
    (option->vox ? voxChanged : rawChanged) = true;
    ++i;
  }
  if (rawChanged)
    raw.SaveAsDefaultSettings(kRawAudioSection);
  if (voxChanged)
    vox.SaveAsDefaultSettings(kVoxAudioSection);
  if (files.empty())
    return rawChanged || voxChanged ? kExitOk : Usage("add needs at least one file");
  return RecAdd(files);
}

int Decode(int argc, char** argv)
{
  std::vector<const char*> paths;
  int rate = 0;
  int channels = 0;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(arg, "--rate") == 0) {
      if (!ParseNumber(value, kMinRate, kMaxRate, rate))
        return Usage("a sample rate from 1000 to 384000 must follow --rate");
      ++i;
    } else if (std::strcmp(arg, "--channels") == 0) {
      if (!ParseNumber(value, 1, kMaxChannels, channels))
        return Usage("a channel count from 1 to 8 must follow --channels");
      ++i;
    } else if (std::strncmp(arg, "--", 2) == 0) {
      return Usage("unknown option ", arg);
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.size() != 2)
    return Usage("decode needs a source file and an output file");
  return RecDecode(paths[0], paths[1], rate, channels);
}

}  // namespace

int main(int argc, char** argv)
{
  // The library is shared between the service and every user: files and
  // folders it creates must stay writable for all of them.
  ::umask(0);
  if (argc < 2)
    return Usage("no command given");
  const char* command = argv[1];
  int rest = argc - 2;
  char** args = argv + 2;
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 || std::strcmp(command, "help") == 0) {
    PrintHelp(stdout);
    return kExitOk;
  }
  if (std::strcmp(command, "add") == 0)
    return Add(rest, args);
  if (std::strcmp(command, "list") == 0)
    return rest == 0 ? RecList() : Usage("list takes no arguments");
  if (std::strcmp(command, "remove") == 0) {
    if (rest == 0)
      return Usage("remove needs at least one recording name");
    return RecRemove(std::vector<const char*>(args, args + rest));
  }
  if (std::strcmp(command, "decode") == 0)
    return Decode(rest, args);
  return Usage("unknown command ", command);
}
