#pragma once
// Captures the lines of the process-wide log as its window would see them.

#include "settings/log.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct CapturedLine {
  std::string time;
  std::string text;
  unsigned char level;
};

class LogCapture : public LLogDisplay {
public:
  LogCapture() { gLLog.SetLogWindow(*this); }
  ~LogCapture() { gLLog.InvalidateLogWindow(); }

  void DisplayStatus(const char* time, const char* text, unsigned char level) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({time, text, level});
    changed_.notify_all();
  }
  std::vector<CapturedLine> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& line : Lines())
      texts.push_back(line.text);
    return texts;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  // Waits until a line with this text has been seen.
  bool WaitFor(const std::string& text, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (const auto& line : lines_)
        if (line.text == text)
          return true;
      return false;
    });
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<CapturedLine> lines_;
};
