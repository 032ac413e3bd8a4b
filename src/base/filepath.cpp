// Path text rules and the fixed folder layout.
#include "base/file.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "base/formatter.h"
#include "base/stringtools.h"

namespace {

bool IsSeparator(char c)
{
  return c == '/' || c == '\\';
}

// Index of the last separator in path, or -1.
long LastSeparator(const char* path)
{
  long last = -1;
  for (long i = 0; path[i] != 0; ++i) {
    if (IsSeparator(path[i])) {
      last = i;
    }
  }
  return last;
}

// Index of the extension's dot (the last '.' after the last separator, not
// the first character of the path), or -1.
long ExtensionDot(const char* path)
{
  long from = LastSeparator(path) + 1;
  const char* dot = std::strrchr(path + from, '.');
  if (dot == nullptr || dot == path) {
    return -1;
  }
  return dot - path;
}

// Copies count bytes of src into out (a kPathSize buffer), cut at 259.
// Works through a temporary so that out may overlap src.
char* CopyPart(char* out, const char* src, std::size_t count)
{
  char part[kPathSize];
  std::size_t n = count < kPathSize - 1 ? count : kPathSize - 1;
  std::memcpy(part, src, n);
  part[n] = 0;
  std::memcpy(out, part, n + 1);
  return out;
}

void CreateQuietly(const char* path)
{
  mkdir(path, 0777);
}

char* AppFolderPlus(char* out, const char* name, bool create)
{
  LFile::GetProgramFolderApp(out);
  LFile::FilePathCat(out, name);
  if (create) {
    CreateQuietly(out);
  }
  return out;
}

}  // namespace

char* LFile::FilePathCat(char* path, const char* name)
{
  return FilePathCat(path, name, "");
}

char* LFile::FilePathCat(char* path, const char* name, const char* extension)
{
  std::size_t length = std::strlen(path);
  auto add = [&](const char* text) {
    for (; text != nullptr && *text != 0 && length < kPathSize - 1; ++text) {
      path[length++] = *text;
    }
  };
  if (length > 0 && !IsSeparator(path[length - 1])) {
    add("/");
  }
  add(name);
  add(extension);
  path[length] = 0;
  return path;
}

char* LFile::MakeFilePath(char* out, const char* folder, const char* name)
{
  return MakeFilePath(out, folder, name, "");
}

char* LFile::MakeFilePath(char* out, const char* folder, const char* name, const char* extension)
{
  CopyPart(out, folder, std::strlen(folder));
  return FilePathCat(out, name, extension);
}

bool LFile::MakeFilePathWhole(char* out, const char* folder, const char* name)
{
  std::size_t folderLength = std::strlen(folder);
  bool separator = folderLength > 0 && !IsSeparator(folder[folderLength - 1]);
  std::size_t full = folderLength + (separator ? 1 : 0) + std::strlen(name);
  MakeFilePath(out, folder, name);
  return full < kPathSize;
}

char* LFile::GetFileFromPath(char* out, const char* path)
{
  const char* file = path + LastSeparator(path) + 1;
  return CopyPart(out, file, std::strlen(file));
}

char* LFile::GetFileNameFromPath(char* out, const char* path)
{
  const char* file = path + LastSeparator(path) + 1;
  const char* dot = std::strrchr(file, '.');
  std::size_t length = dot != nullptr && dot != file ? static_cast<std::size_t>(dot - file) : std::strlen(file);
  return CopyPart(out, file, length);
}

char* LFile::GetFileExtensionFromPath(char* out, const char* path)
{
  long dot = ExtensionDot(path);
  if (dot < 0) {
    out[0] = 0;
    return out;
  }
  return CopyPart(out, path + dot, std::strlen(path + dot));
}

char* LFile::GetFolderFromPath(char* out, const char* path)
{
  long last = LastSeparator(path);
  if (last < 0) {
    out[0] = 0;
    return out;
  }
  if (last == 0) {
    return CopyPart(out, "/", 1);
  }
  return CopyPart(out, path, static_cast<std::size_t>(last));
}

char* LFile::ApplyNewFileExtension(char* out, const char* path, const char* extension)
{
  long dot = ExtensionDot(path);
  if (dot < 0) {
    return CopyPart(out, path, std::strlen(path));
  }
  char result[kPathSize];
  CopyPart(result, path, static_cast<std::size_t>(dot));
  std::size_t length = std::strlen(result);
  tstrlcpy(result + length, extension, kPathSize - length);
  return CopyPart(out, result, std::strlen(result));
}

char* LFile::GetProgramFolder(char* out)
{
  tlstrcpy(out, "/opt/ostrel");
  CreateQuietly(out);
  return out;
}

char* LFile::GetProgramFolderApp(char* out)
{
  GetProgramFolder(out);
  FilePathCat(out, "velorin");
  CreateQuietly(out);
  return out;
}

char* LFile::GetProgramFolderSubFolder(char* out, const char* name)
{
  return AppFolderPlus(out, name, false);
}

char* LFile::GetProgramFolderBinary(char* out)
{
  return GetProgramFolderSubFolder(out, "bin");
}

char* LFile::GetProgramExecutablePath(char* out)
{
  return FilePathCat(GetProgramFolderBinary(out), "velorin");
}

char* LFile::GetProgramFolderResources(char* out)
{
  return GetProgramFolderSubFolder(out, "share");
}

char* LFile::GetHelpFolder(char* out)
{
  return FilePathCat(GetProgramFolderResources(out), "help");
}

// Created as well, so that the first settings, log or session file of a
// program that was never installed can be written.
char* LFile::GetSharedDataFolder(char* out)
{
  return AppFolderPlus(out, "etc", true);
}

char* LFile::GetSharedDataFolderApp(char* out)
{
  return GetSharedDataFolder(out);
}

char* LFile::GetSharedDataFolderAppSubFolder(const char* name, char* out)
{
  FilePathCat(GetSharedDataFolderApp(out), name);
  CreateQuietly(out);
  return out;
}

char* LFile::GetUserDataFolder(char* out)
{
  const char* home = std::getenv("HOME");
  tlstrcpy(out, home != nullptr ? home : "/opt");
  return out;
}

char* LFile::GetUserDataFolderApp(char* out)
{
  FilePathCat(GetUserDataFolder(out), ".ostrel");
  CreateQuietly(out);
  FilePathCat(out, "velorin");
  CreateQuietly(out);
  return out;
}

char* LFile::GetUserDataFolderAppSubFolder(const char* name, char* out)
{
  FilePathCat(GetUserDataFolderApp(out), name);
  CreateQuietly(out);
  return out;
}

char* LFile::GetTempFolder(char* out)
{
  tlstrcpy(out, "/tmp");
  return out;
}

char* LFile::GetDefaultDesktopFolder(char* out)
{
  tlstrcpy(out, "/usr/share/applications/desktop");
  CreateQuietly(out);
  return out;
}

char* LFile::GetDefaultDesktopPath(char* out)
{
  return FilePathCat(GetDefaultDesktopFolder(out), "velorin", ".desktop");
}

bool GetComponentPath(const char* name, char* out)
{
  char folder[kPathSize];
  LFile::GetProgramFolder(folder);
  LFile::FilePathCat(folder, "components/", name);
  if (!LFile::IsFolder(folder)) {
    return false;
  }
  LFile::MakeFilePath(out, folder, name);
  return true;
}

char* GetResourcePath(int id, char* out)
{
  tsprintf(out, kPathSize, "/opt/ostrel/velorin/share/%d.png", id);
  return out;
}
