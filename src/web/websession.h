#pragma once
#include <ctime>
#include <optional>

#include "base/fileclasses.h"
#include "base/hashtable.h"
#include "base/stringtools.h"

// Session files live one per session in the shared-data subfolder of this
// name, which is also the site's root folder for static files.
inline constexpr char kWebletSessionFolderName[] = "SessionData";
inline constexpr char kWebletSessionExtension[] = ".sess";
// Session files older than this many seconds are deleted.
inline constexpr time_t kWebletSessionLifetime = 86400;
// Lock waits for reading and writing a session file.
inline constexpr unsigned int kWebletSessionLockMs = 10000;

// The session folder (created when missing) into out (260 bytes).
char* LWebletGetSessionFolder(char* out);

// Deletes every *.sess file in folder last written before now - lifetime.
// Several connection threads may sweep at once; a file another thread has
// just deleted is simply skipped.
void LWebletSweepSessions(const char* folder, time_t now);

// A small name/value store that survives between requests of one browser,
// named by the cookie "sess" and kept as one form-field text per file.
// Each request owns its own object (one thread); two requests of one
// session are ordered only by the file locks, and the later flush wins.
//
// Changes (SetParm, SetInt, DeleteParm, CreateNewSession) first open the
// file for writing, which empties it, and the table is written back when
// the session is flushed or destroyed.
class LWebletSessionData : public LHashTable {
public:
  LWebletSessionData() = default;
  ~LWebletSessionData() { FlushSession(); }

  // Sweeps expired session files, then loads the named session.  A name
  // with a path separator, or one whose file name would not fit in a path,
  // is ignored and leaves the session as it was; an empty name means no
  // session.  A missing or unreadable file gives an empty table.
  void LoadSession(const char* name);
  // Starts a new, empty session with a fresh name.  The caller sends the
  // name to the browser as the cookie "sess".
  void CreateNewSession();
  void FlushSession();

  void SetParm(const char* name, const char* value);
  void SetInt(const char* name, int value);
  void DeleteParm(const char* name);

  const char* GetSessionName() const { return name_; }
  const char* GetSessionPath() const { return path_; }

private:
  void SetDirty();
  void CloseWithoutSaving() { writeFile_.reset(); }

  char name_[kPathSize] = "";
  char path_[kPathSize] = "";
  std::optional<LWriteFile> writeFile_;
};

// The file of the named session into path (260 bytes); false (and path
// empty) when folder, name and extension do not fit.
bool LWebletMakeSessionPath(const char* name, char* path);

// "%s%d": eight random lower-case letters and a process-wide counter that
// starts at 1.  Callable from any thread.
void LWebletMakeSessionName(char* out);
