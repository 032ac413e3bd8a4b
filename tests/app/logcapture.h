#pragma once
// Captures the lines of the process-wide log as its window would see them.

#include "settings/log.h"

#include <mutex>
#include <string>
#include <vector>

class LogCapture : public LLogDisplay {
public:
  LogCapture() { gLLog.SetLogWindow(*this); }
  ~LogCapture() { gLLog.InvalidateLogWindow(); }
  void DisplayStatus(const char* time, const char* text, unsigned char level) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::string(time) + " " + std::to_string(level) + " " + text);
  }
  // Each line's text, or with full "time level text".
  std::vector<std::string> Texts(bool full = false)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts = lines_;
    for (auto& text : texts)
      text.erase(0, full ? 0 : text.find(' ', text.find(' ') + 1) + 1);
    return texts;
  }

private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};
