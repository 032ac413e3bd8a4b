#pragma once
// Captures the lines of the process-wide log as its window would see them.

#include "settings/log.h"

#include <mutex>
#include <string>
#include <utility>
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
  std::vector<CapturedLine> Lines(bool clear = false)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return clear ? std::exchange(lines_, {}) : lines_;
  }
  std::vector<std::string> Texts(bool clear = false)
  {
    std::vector<std::string> texts;
    for (const auto& line : Lines(clear))
      texts.push_back(line.text);
    return texts;
  }

private:
  std::mutex mutex_;
  std::vector<CapturedLine> lines_;
};
