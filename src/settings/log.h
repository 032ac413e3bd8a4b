#pragma once
#include "base/lockobject.h"

#include <ctime>

// Receives every logged line for display: the desktop's log window
// implements it.  DisplayStatus is called on the logging thread with the
// log's lock held, so it must only queue a copy and must not log itself.
class LLogDisplay {
public:
  virtual void DisplayStatus(const char* time, const char* text, unsigned char level) = 0;

protected:
  ~LLogDisplay() = default;
};

// Hands a line to the service's forwarding when no window is attached; set
// by the service host, null otherwise.  Called on the logging thread.
using LServiceLogForwarder = void (*)(const char* time, const char* text, unsigned char level);
void LSetServiceLogForwarder(LServiceLogForwarder forwarder);
void LServiceLog(const char* time, const char* text, unsigned char level);

// The process-wide log: every line goes to the daily file
// "YYYY-MM-DD Velorin Log.txt" in the shared Logs folder as "hh:mm:ss text"
// ended by CR LF, and to the attached window or the service's forwarding.
// Log() is called from every thread.
class LLog {
public:
  using Clock = time_t (*)();

  LLog();
  // A log writing into another folder with another clock (tests).
  LLog(const char* folder, Clock clock);
  LLog(const LLog&) = delete;
  LLog& operator=(const LLog&) = delete;

  void Log(const char* text, unsigned char level);
  void LogDisplayOnly(const char* time, const char* text, unsigned char level);
  void SetLogWindow(LLogDisplay& window);
  void InvalidateLogWindow();
  const char* GetLogFolder() const { return folder_; }

private:
  char folder_[260];
  Clock clock_;
  LLockObject lock_;  // guards the cached second, its texts and the window
  LLogDisplay* window_ = nullptr;
  time_t cachedSecond_ = 0;
  char timeText_[9] = "";
  char filePath_[260] = "";
};

extern LLog gLLog;

// Levels: 0 plain, 1 error, 2 warning, 3 information.
enum : unsigned char { LLogPlain = 0, LLogError = 1, LLogWarning = 2, LLogInformation = 3 };

void LOG(const char* text);
void LOGERROR(const char* text);
void LOGWARN(const char* text);
void LOGINFO(const char* text);
// "%s%d"
void LOG(const char* text, int value);
void LOGERROR(const char* text, int value);
void LOGWARN(const char* text, int value);
void LOGINFO(const char* text, int value);
// "%s%s"
void LOG(const char* text, const char* text2);
void LOGERROR(const char* text, const char* text2);
void LOGWARN(const char* text, const char* text2);
void LOGINFO(const char* text, const char* text2);
// printf-style, the result cut to 511 bytes.
void LOGF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LOGERRORF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LOGWARNF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LOGINFOF(const char* format, ...) __attribute__((format(printf, 1, 2)));
