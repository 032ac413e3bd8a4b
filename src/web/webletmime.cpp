#include "web/webletmime.h"

#include "base/file.h"
#include "base/stringtools.h"

namespace {

struct MimeType {
  const char* extension;
  const char* type;
};

// Searched in order; extensions are lower case.
constexpr MimeType kMimeTypes[] = {
    {"html", "text/html"}, {"css", "text/css"}, {"jpg", "image/jpeg"}, {"gif", "image/gif"}, {"mp3", "audio/mpeg"},
};

constexpr char kDefaultType[] = "application/octet-stream";

}  // namespace

const char* LExtToMimeType(const char* extension)
{
  char lower[kPathSize];
  tlstrcpy(lower, extension);
  tstrlwr(lower);
  for (const MimeType& entry : kMimeTypes) {
    if (tstrcmp(lower, entry.extension) == 0) {
      return entry.type;
    }
  }
  return kDefaultType;
}

const char* LPathToMimeType(const char* path)
{
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, path);
  return LExtToMimeType(extension[0] == '.' ? extension + 1 : extension);
}
