#include "sound/recordings.h"

#include <cstring>

#include "base/stringtools.h"

namespace {

constexpr const char* kRecordingPattern = "*.mp3";
constexpr const char* kRecordingExtension = ".mp3";

}  // namespace

char* LRecordingsGetFolder(char* out)
{
  return LFile::GetSharedDataFolderApp(out);
}

char* LRecordingsGetSubFolder(char* out, const char* name)
{
  LFile::FilePathCat(LRecordingsGetFolder(out), name);
  LFile::CreateFolder(out);
  return out;
}

char* LRecordingsGetHighFolder(char* out)
{
  return LRecordingsGetSubFolder(out, "High");
}

char* LRecordingsGetLowFolder(char* out)
{
  return LRecordingsGetSubFolder(out, "Low");
}

LRecordingsIterator::LRecordingsIterator()
{
  char folder[kPathSize];
  files_.Open(LRecordingsGetHighFolder(folder), kRecordingPattern);
  SkipFolders();
}

LRecordingsIterator::LRecordingsIterator(const char* folder)
{
  files_.Open(folder, kRecordingPattern);
  SkipFolders();
}

char* LRecordingsIterator::GetName(char* out) const
{
  return LFile::GetFileNameFromPath(out, files_.GetFile());
}

void LRecordingsIterator::Next()
{
  files_.Next();
  SkipFolders();
}

void LRecordingsIterator::SkipFolders()
{
  while (files_ && files_.IsFolder())
    files_.Next();
}

bool LRecordingsIsValidName(const char* name)
{
  return std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr;
}

bool LRecordingsFindFile(char* out, const char* folder, const char* name)
{
  out[0] = 0;
  if (!LRecordingsIsValidName(name))
    return false;
  char file[kPathSize];
  // The name and its extension must fit whole: a cut one could name
  // another file of the folder.
  if (std::strlen(name) + std::strlen(kRecordingExtension) >= kPathSize)
    return false;
  std::size_t length = tstrlcpy(file, name, sizeof file);
  tstrlcpy(file + length, kRecordingExtension, sizeof file - length);
  if (LFile::MakeFilePathWhole(out, folder, file) && LFile::TestFileExists(out) && !LFile::IsFolder(out))
    return true;
  char found[kPathSize];
  for (LRecordingsIterator it(folder); it; it.Next()) {
    if (std::strcmp(it.GetName(found), name) == 0 && it.GetFilePath(out))
      return true;
  }
  out[0] = 0;
  return false;
}

bool LRecordingsRemove(const char* name)
{
  char folder[kPathSize];
  char file[kPathSize];
  if (!LRecordingsFindFile(file, LRecordingsGetHighFolder(folder), name) || !LFile::DeleteFile(file))
    return false;
  if (LRecordingsFindFile(file, LRecordingsGetLowFolder(folder), name))
    LFile::DeleteFile(file);
  return true;
}
