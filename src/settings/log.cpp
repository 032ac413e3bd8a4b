#include "settings/log.h"

#include "base/file.h"
#include "base/fileclasses.h"
#include "base/stringtools.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kLogLockMs = 500;
constexpr size_t kMaxFileLine = 8191;

std::atomic<LServiceLogForwarder> gForwarder{nullptr};

time_t SystemClock()
{
  return time(nullptr);
}

}  // namespace

void LSetServiceLogForwarder(LServiceLogForwarder forwarder)
{
  gForwarder.store(forwarder, std::memory_order_release);
}

void LServiceLog(const char* time, const char* text, unsigned char level)
{
  if (LServiceLogForwarder f = gForwarder.load(std::memory_order_acquire))
    f(time, text, level);
}

LLog gLLog;

LLog::LLog() : clock_(SystemClock)
{
  LFile::GetSharedDataFolderAppSubFolder("Logs", folder_);
}

LLog::LLog(const char* folder, Clock clock) : clock_(clock)
{
  tstrlcpy(folder_, folder, sizeof folder_);
  LFile::CreateFolder(folder_);
}

void LLog::Log(const char* text, unsigned char level)
{
  char timeText[9];
  char path[260];
  {
    LLockScope scope(lock_);
    time_t now = clock_();
    if (now != cachedSecond_) {
      tm local;
      localtime_r(&now, &local);
      char text[16];
      std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", local.tm_hour, local.tm_min, local.tm_sec);
      tstrlcpy(timeText_, text, sizeof timeText_);
      char name[64];
      std::snprintf(name, sizeof name, "%.4d-%.2d-%.2d Velorin Log.txt", local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday);
      LFile::MakeFilePath(filePath_, folder_, name);
      cachedSecond_ = now;
    }
    std::memcpy(timeText, timeText_, sizeof timeText);
    std::memcpy(path, filePath_, sizeof path);
  }

  char line[kMaxFileLine + 1];
  int n = std::snprintf(line, sizeof line, "%s %s\r\n", timeText, text);
  size_t length = n < 0 ? 0 : std::min(static_cast<size_t>(n), kMaxFileLine);
  if (length == kMaxFileLine) {
    // A cut line still ends with its line break.
    line[kMaxFileLine - 2] = '\r';
    line[kMaxFileLine - 1] = '\n';
  }
  LFile::AppendFile(path, line, length, kLogLockMs);

  LLockScope scope(lock_);
  if (window_)
    window_->DisplayStatus(timeText, text, level);
  else
    LServiceLog(timeText, text, level);
}

void LLog::LogDisplayOnly(const char* time, const char* text, unsigned char level)
{
  LLockScope scope(lock_);
  if (window_)
    window_->DisplayStatus(time, text, level);
}

void LLog::SetLogWindow(LLogDisplay& window)
{
  LLockScope scope(lock_);
  window_ = &window;
}

void LLog::InvalidateLogWindow()
{
  LLockScope scope(lock_);
  window_ = nullptr;
}

namespace {

void LogPair(unsigned char level, const char* text, const char* text2)
{
  char line[2 * 259 + 1];
  std::snprintf(line, sizeof line, "%.259s%.259s", text, text2);
  gLLog.Log(line, level);
}

void LogNumber(unsigned char level, const char* text, int value)
{
  char line[259 + 16];
  std::snprintf(line, sizeof line, "%.259s%d", text, value);
  gLLog.Log(line, level);
}

void LogFormat(unsigned char level, const char* format, va_list args)
{
  char line[512];
  std::vsnprintf(line, sizeof line, format, args);
  gLLog.Log(line, level);
}

}  // namespace

void LOG(const char* text)
{
  gLLog.Log(text, LLogPlain);
}
void LOGERROR(const char* text)
{
  gLLog.Log(text, LLogError);
}
void LOGWARN(const char* text)
{
  gLLog.Log(text, LLogWarning);
}
void LOGINFO(const char* text)
{
  gLLog.Log(text, LLogInformation);
}

void LOG(const char* text, int value)
{
  LogNumber(LLogPlain, text, value);
}
void LOGERROR(const char* text, int value)
{
  LogNumber(LLogError, text, value);
}
void LOGWARN(const char* text, int value)
{
  LogNumber(LLogWarning, text, value);
}
void LOGINFO(const char* text, int value)
{
  LogNumber(LLogInformation, text, value);
}

void LOG(const char* text, const char* text2)
{
  LogPair(LLogPlain, text, text2);
}
void LOGERROR(const char* text, const char* text2)
{
  LogPair(LLogError, text, text2);
}
void LOGWARN(const char* text, const char* text2)
{
  LogPair(LLogWarning, text, text2);
}
void LOGINFO(const char* text, const char* text2)
{
  LogPair(LLogInformation, text, text2);
}

#define VELORIN_LOG_FORMATTED(name, level)                                                                             \
  void name(const char* format, ...)                                                                                   \
  {                                                                                                                    \
    va_list args;                                                                                                      \
    va_start(args, format);                                                                                            \
    LogFormat(level, format, args);                                                                                    \
    va_end(args);                                                                                                      \
  }
VELORIN_LOG_FORMATTED(LOGF, LLogPlain)
VELORIN_LOG_FORMATTED(LOGERRORF, LLogError)
VELORIN_LOG_FORMATTED(LOGWARNF, LLogWarning)
VELORIN_LOG_FORMATTED(LOGINFOF, LLogInformation)
#undef VELORIN_LOG_FORMATTED
