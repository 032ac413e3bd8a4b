// The audio file readers: the input's first bytes choose a file kind (and a
// headerless file's settings), the rest is the file, opened through the
// format dispatch or the raw reader, read, sought and read again.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/gensource.h"
#include "sound/raw.h"

namespace {

// Conversions write their temporary files here.  A plain array: it outlives
// the exit handler that removes the folder.
const char* WorkFolder()
{
  static char folder[64] = "/tmp/formats_fuzz.XXXXXX";
  static const bool made = mkdtemp(folder) != nullptr && atexit([] {
                                                           std::error_code ignored;
                                                           std::filesystem::remove_all(folder, ignored);
                                                         }) == 0;
  return made ? folder : "/tmp";
}

class NeverStops {
public:
  bool IsToStop() const { return false; }
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
  {
    return signal.WaitSignal(ms) ? kProcessDone : kProcessFailed;
  }
  void SetProgress(double) {}
  void SetStatus1(const char*) {}
  void SetStatus2(const char*) {}
  void SetError(const char*) {}
};

// Kinds that need no settings store or installed decoder; the last stands
// for headerless files.
const char* const kExtensions[] = {".wav", ".WAV", ".aif",  ".aiff", ".au", ".gsm",
                                   ".moh", ".dct", ".dart", ".mp3",  ".raw"};
constexpr size_t kKinds = sizeof kExtensions / sizeof kExtensions[0];

void Exercise(LSoundSource& source, const uint8_t* data, size_t size)
{
  static std::vector<int> buffer;
  const int channels = source.GetChannels();
  const int blocks[] = {1, 4096, 333};
  buffer.resize(static_cast<size_t>(4096) * channels);
  for (int frames : blocks)
    source.Read(buffer.data(), frames);
  // Before the start, inside, at and beyond the end, and one from the input.
  int targets[] = {-77, 0, source.GetEndSample() - 1, source.GetEndSample(), source.GetEndSample() + 5, 12345};
  if (size >= 4)
    targets[5] = static_cast<int>(data[size - 1] | (data[size - 2] << 8) | (data[size - 3] << 16));
  for (int target : targets) {
    source.Seek(target);
    source.Read(buffer.data(), 777);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 6)
    return 0;
  const size_t kind = data[0] % kKinds;
  std::string path = std::string(WorkFolder()) + "/input" + kExtensions[kind];
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr)
    return 0;
  fwrite(data + 6, 1, size - 6, file);
  fclose(file);

  LSoundSource source;
  if (kind == kKinds - 1) {
    LRawSettings settings;
    settings.codec = data[1] % 11 - 1;  // -1 .. 9: the list and beyond
    settings.channels = static_cast<unsigned char>(data[2] % 8 + 1);
    settings.sampleRate = (data[3] | (data[4] << 8)) - 100;
    source = LRawFile::OpenSource(path.c_str(), settings);
  } else {
    NeverStops progress;
    LGenSourceOpenProcess(progress, source, path.c_str(), WorkFolder());
  }
  Exercise(source, data, size);
  return 0;
}
