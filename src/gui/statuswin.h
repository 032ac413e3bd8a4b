#pragma once

#include "base/queuednotify.h"
#include "settings/log.h"

#include <gtk/gtk.h>

#include <deque>
#include <mutex>
#include <string>

// The status pane: a read-only text view that shows log lines with their
// time, a level icon and a colour.  Any thread may call DisplayStatus; the
// line is inserted later on the main loop under the GDK lock.  Lines that
// arrive faster than the pane shows them wait in one queue and go in
// batches, so a flood never floods the main loop with callbacks.
class LStatusWindow : public LLogDisplay, private LQueuedNotifyDataHandler {
public:
  // The pane keeps at most this many lines: a desktop left open beside a
  // busy service (a line per listener connection) would otherwise grow
  // without bound.  The oldest lines go first.
  static constexpr int kMaxLines = 3000;

  LStatusWindow();
  virtual ~LStatusWindow();

  // GUI thread: takes the text view (made by LWindow-side code) and sets up
  // its end mark, icons and colour tags.
  void Init(GtkTextView* view);

  // At most this many queued lines are inserted per main loop pass.
  static constexpr int kBatchLines = 100;

  // Any thread; queues a copy (time and text cut to 259 bytes).
  void DisplayStatus(const char* time, const char* text, unsigned char level) override;

  // GUI thread: the lines the pane holds (the last, empty line not counted).
  int GetLineCount() const;

  // Builds the read-only text view inside a scrolled window with the pane's
  // colours; returns the scrolled window, the view in *view.
  static GtkWidget* CreateStatusView(GtkTextView** view);

private:
  struct Record {
    std::string time;
    std::string text;
    unsigned char level;
  };

  void EvQueuedNotifyData(unsigned int type, const void* data, unsigned int size) override;
  void Insert(const Record& line);

  LQueuedNotifyDataSender sender_;
  // Guards pending_ and posted_; taken on logging threads (under the log's
  // lock) and on the main loop.
  std::mutex pendingLock_;
  std::deque<Record> pending_;
  bool posted_ = false;  // a batch is queued on the main loop
  GtkTextView* view_ = nullptr;
  GtkTextBuffer* buffer_ = nullptr;
  GtkTextMark* end_ = nullptr;
  GdkPixbuf* icons_[3] = {nullptr, nullptr, nullptr};
};

// The main window's pane: attached to the process-wide log for its life.
class LLogWindow : public LStatusWindow {
public:
  LLogWindow() { gLLog.SetLogWindow(*this); }
  ~LLogWindow() override { gLLog.InvalidateLogWindow(); }
};
