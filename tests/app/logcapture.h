#pragma once
// Captures the lines of the process-wide log as its window would see them.

#include "settings/log.h"

#include <mutex>
#include <string>
#include <vector>

struct CapturedLine {
  std::string time, text;
  unsigned char level;
};

class LogCapture : public LLogDisplay {
public:
  LogCapture() { gLLog.SetLogWindow(*this); }
  ~LogCapture() { gLLog.InvalidateLogWindow(); }
  void DisplayStatus(const char* time, const char* text, unsigned char level) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({time, text, level});
  }
  std::vector<CapturedLine> Lines()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<std::string> Texts()
  {
    std::vector<std::string> texts;
    for (const auto& line : Lines())
      texts.push_back(line.text);
    return texts;
  }

private:
  std::mutex mutex_;
  std::vector<CapturedLine> lines_;
};
