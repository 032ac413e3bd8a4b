#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

// Everything the program does with file names, folders and its fixed folder
// layout, as static operations.  Paths live in kPathSize (260-byte) buffers:
// every `out` and every in/out `path` below must hold kPathSize bytes, and
// every built path is cut at 259 characters.  Both '/' and '\' separate path
// parts when a path is taken apart; '/' is the one inserted.  All operations
// are reentrant.
class LFile {
public:
  class FolderIteratorAllFiles;
  class FolderIterator;

  // Fixed folder layout.  "Created" folders are made (mode 0777) on every
  // call, ignoring failure and existing folders.
  static char* GetProgramFolder(char* out);                             // /opt/ostrel, created
  static char* GetProgramFolderApp(char* out);                          // /opt/ostrel/velorin, created
  static char* GetProgramFolderSubFolder(char* out, const char* name);  // not created
  static char* GetProgramFolderBinary(char* out);                       // .../bin
  static char* GetProgramExecutablePath(char* out);                     // .../bin/velorin
  static char* GetProgramFolderResources(char* out);                    // .../share
  static char* GetHelpFolder(char* out);                                // .../share/help
  // .../etc: settings shared by all users, logs, sessions, recordings.
  static char* GetSharedDataFolder(char* out);
  static char* GetSharedDataFolderApp(char* out);
  static char* GetSharedDataFolderAppSubFolder(const char* name, char* out);  // created
  static char* GetUserDataFolder(char* out);                                  // $HOME, or /opt without one
  static char* GetUserDataFolderApp(char* out);                               // home/.ostrel/velorin, created
  static char* GetUserDataFolderAppSubFolder(const char* name, char* out);    // created
  static char* GetTempFolder(char* out);                                      // /tmp
  static char* GetDefaultDesktopFolder(char* out);                            // created
  static char* GetDefaultDesktopPath(char* out);

  // Path text.  Input and output may be the same buffer.
  static char* FilePathCat(char* path, const char* name);
  static char* FilePathCat(char* path, const char* name, const char* extension);
  static char* MakeFilePath(char* out, const char* folder, const char* name);
  static char* MakeFilePath(char* out, const char* folder, const char* name, const char* extension);
  // MakeFilePath that reports a cut: false when folder + name did not fit
  // (a cut path may name another file, so walks skip such entries).
  static bool MakeFilePathWhole(char* out, const char* folder, const char* name);
  static char* GetFileFromPath(char* out, const char* path);
  static char* GetFileNameFromPath(char* out, const char* path);
  static char* GetFileExtensionFromPath(char* out, const char* path);
  static char* GetFolderFromPath(char* out, const char* path);
  static char* ApplyNewFileExtension(char* out, const char* path, const char* extension);

  // File system.
  static bool CreateFolder(const char* path);
  static bool IsFolder(const char* path);
  static bool TestFileExists(const char* path);
  static bool TestFolderWritable(const char* path);
  static uint64_t GetFileSizeBytes(const char* path);
  static bool GetFileModifiedTime(time_t& time, const char* path);
  static bool DeleteFile(const char* path);
  static bool DeleteFile(const char* path, unsigned int timeLimitMs);
  // Copies through the program's file locks.  False when either file cannot
  // be opened, when both names are the same file, or on a read or write
  // error.
  static bool CopyFile(const char* from, const char* to);
  // Whether both paths name one existing file (links and all).
  static bool IsSameFile(const char* a, const char* b);
  static bool CopyFolderFiles(const char* from, const char* to);
  static bool DeleteFolder(const char* path);
  static bool DeleteFolderAndFiles(const char* path);
  static bool DeleteFolderTree(const char* path);
  // Creates a new empty file /tmp/0XXXXXX (unique) and leaves it on disk.
  static bool GetTempFile(char* out);
  // True exactly when another holder has the file locked against a shared
  // (read) or an exclusive (write) lock.
  static bool TestFileShareReadBlocked(const char* path);
  static bool TestFileShareWriteBlocked(const char* path);
  static bool AppendFile(const char* path, const void* data, std::size_t bytes, unsigned int timeLimitMs);
};

// A component is a separate program in /opt/ostrel/components/<name>/.
// True (out = that folder + "/" + name) when its folder exists.
bool GetComponentPath(const char* name, char* out);
// /opt/ostrel/velorin/share/<id>.png
char* GetResourcePath(int id, char* out);
