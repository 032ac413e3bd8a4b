#include "sound/gensource.h"

#include "base/file.h"
#include "base/formatter.h"
#include "sound/aiff.h"
#include "sound/au.h"
#include "sound/cmdlinedecode.h"
#include "sound/dct.h"
#include "sound/formaterrors.h"
#include "sound/gsm.h"
#include "sound/moh.h"
#include "sound/mp3.h"
#include "sound/pcdart.h"
#include "sound/raw.h"
#include "sound/tempwav.h"
#include "sound/wav.h"

namespace {

// Formats read directly.  A row with a settings section is headerless
// audio read with the raw settings of that section.
struct DirectReader {
  const char* extension;
  LSoundSource (*open)(const char* path, const char* tempFolder);
  const char* settingsSection;
};

template <LSoundSource (*Open)(const char*)>
LSoundSource OpenPath(const char* path, const char*)
{
  return Open(path);
}

const DirectReader kDirectReaders[] = {
    {".wav", OpenPath<LWaveFile::OpenSource>, nullptr},
    {".mp3", OpenPath<LMP3File::OpenSource>, nullptr},
    {".aif", OpenPath<LAifFile::OpenSource>, nullptr},
    {".aiff", OpenPath<LAifFile::OpenSource>, nullptr},
    {".au", OpenPath<LAuFile::OpenSource>, nullptr},
    {".gsm", OpenPath<LGSMFile::OpenSource>, nullptr},
    {".vox", nullptr, kVoxAudioSection},
    {".raw", nullptr, kRawAudioSection},
    {".snd", nullptr, kRawAudioSection},
    {".moh", LMOHSource::OpenSource, nullptr},
};

// Formats converted into a temporary WAV file first.
using ConvertFunction = LProcessResult (*)(LProgressRef& progress, const char* source, const char* wav);

template <class Converter>
LProcessResult Convert(LProgressRef& progress, const char* source, const char* wav)
{
  Converter converter(source, wav);
  return converter.Run(progress);
}

struct Conversion {
  const char* extension;
  ConvertFunction convert;
};

const Conversion kConversions[] = {
    {".dct", Convert<LDCTDecode>},           {".dart", Convert<LPCDartDecode>},
    {".ogg", Convert<LCmdLineConvertToWav>}, {".flac", Convert<LCmdLineConvertToWav>},
    {".act", Convert<LCmdLineConvertToWav>}, {".rec", Convert<LCmdLineConvertToWav>},
    {".rcd", Convert<LCmdLineConvertToWav>}, {".shn", Convert<LCmdLineConvertToWav>},
    {".mpc", Convert<LCmdLineConvertToWav>}, {".ape", Convert<LCmdLineConvertToWav>},
};

template <class Row, std::size_t N>
const Row* FindRow(const Row (&rows)[N], const char* extension)
{
  for (const Row& row : rows) {
    if (tstricmp(row.extension, extension) == 0) {
      return &row;
    }
  }
  return nullptr;
}

// Opens headerless audio with its section's settings, after the settings
// dialog when the caller allows one.
LProcessResult OpenHeaderless(LSoundSource& source, const char* path, const char* section, LGenSourceOpenRef& open)
{
  LRawSettings settings;
  settings.Load(section);
  if (open.IsInteractive() && !settings.SettingsDialog(open.GetParentWindow(), section)) {
    return kProcessStopped;
  }
  source = LRawFile::OpenSource(path, settings);
  return kProcessDone;
}

LProcessResult Failed(const char* path, LGenSourceOpenRef& open, bool quiet)
{
  if (!quiet) {
    char name[kPathSize];
    LFile::GetFileFromPath(name, path);
    char text[kPathSize];
    tsprintf(text, kPathSize, LGetFormatMessage(LFormatMessage::OpenFailed), name);
    open.SetError(text);
  }
  return kProcessFailed;
}

}  // namespace

LProcessResult LGenSourceOpenDispatch(LSoundSource& source, const char* path, LGenSourceOpenRef& open, bool quiet,
                                      const char* tempFolder)
{
  // Whatever the handle held before is let go: a failed open leaves an
  // error source, never the previous file.
  source.Close();
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, path);
  if (const DirectReader* reader = FindRow(kDirectReaders, extension)) {
    if (reader->settingsSection != nullptr) {
      LProcessResult r = OpenHeaderless(source, path, reader->settingsSection, open);
      if (r != kProcessDone) {
        return r;
      }
    } else {
      source = reader->open(path, tempFolder);
    }
    if (source.IsOpen()) {
      return kProcessDone;
    }
  }
  // A file that its own reader refused is not handed to a converter.
  const Conversion* conversion = FindRow(kConversions, extension);
  if (conversion == nullptr) {
    return Failed(path, open, quiet);
  }
  char folder[kPathSize];
  if (tempFolder != nullptr && tempFolder[0] != 0) {
    tlstrcpy(folder, tempFolder);
  } else {
    LFile::GetTempFolder(folder);
  }
  // Held until the WAV has been opened, so no other open takes the name.
  LLockFile lock;
  char wav[kPathSize];
  if (!LChooseTempWavPath(folder, lock, wav)) {
    return Failed(path, open, quiet);
  }
  LProcessResult r = conversion->convert(open.GetProgress(), path, wav);
  if (r != kProcessDone) {
    return r;
  }
  source = LWaveFile::OpenSource(wav);
  if (source.IsOpen()) {
    return kProcessDone;
  }
  return Failed(path, open, quiet);
}

LProcessResult LGenSourceOpenPrompt(const char* path, bool& askOnce, LRawSettingsPrompt* parent)
{
  if (parent == nullptr) {
    return kProcessDone;
  }
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, path);
  const DirectReader* reader = FindRow(kDirectReaders, extension);
  if (reader == nullptr || reader->settingsSection == nullptr || !askOnce) {
    return kProcessDone;
  }
  askOnce = false;
  LRawSettings settings;
  return settings.SettingsDialog(parent, reader->settingsSection) ? kProcessDone : kProcessStopped;
}
