#pragma once
// The recordings library on disk: two sibling folders, "High" (broadband
// rate) and "Low" (dial-up rate), under the shared data folder, each with
// one MP3 file per recording named after it.  There is no index: the
// content of the "High" folder is the library, and files placed there by
// hand count as well.  Everything here is reentrant and called from any
// thread (the site's connection threads, the desktop's settings page).
#include "base/folderiterator.h"

// The library folder (the shared data folder), into out (260 bytes).
char* LRecordingsGetFolder(char* out);
// The library folder joined with name, created (mode 0777) when missing;
// a failure to create it is not reported.
char* LRecordingsGetSubFolder(char* out, const char* name);
char* LRecordingsGetHighFolder(char* out);
char* LRecordingsGetLowFolder(char* out);

// Walks the recordings of one rate folder in directory order: every entry
// matching "*.mp3" without regard to case that is not a folder.  GetName
// is the recording's name: the file name without its extension.
class LRecordingsIterator {
public:
  // The "High" folder, which lists the library.
  LRecordingsIterator();
  explicit LRecordingsIterator(const char* folder);

  explicit operator bool() const { return static_cast<bool>(files_); }
  // Into out (260 bytes).
  char* GetName(char* out) const;
  // The entry's full path into out (260 bytes); false when it would not fit.
  bool GetFilePath(char* out) const { return files_.GetFilePath(out); }
  void Next();

private:
  void SkipFolders();

  LFile::FolderIterator files_;
};

// Whether name can be a recording's name: a file name without a folder,
// so without '/' or '\'.
bool LRecordingsIsValidName(const char* name);

// The file of the recording `name` in `folder` into out (260 bytes):
// name + ".mp3" when that file exists, else the first entry of the folder
// whose recording name is exactly `name` (a file whose extension is written
// in another case, "Show.MP3", which the listing shows as Show).  False
// when the name is not valid, when no such file exists, or when
// the path would not fit whole, so a true result always names a file
// inside folder.
bool LRecordingsFindFile(char* out, const char* folder, const char* name);
