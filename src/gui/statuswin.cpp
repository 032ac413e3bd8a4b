#include "gui/statuswin.h"

#include "base/file.h"

#include <algorithm>

namespace {
constexpr std::size_t kPartBytes = 259;
}  // namespace

LStatusWindow::LStatusWindow()
{
  sender_.SetNotifyHandler(*this);
}

LStatusWindow::~LStatusWindow()
{
  sender_.InvalidateNotifyHandler();
  for (GdkPixbuf* icon : icons_)
    if (icon != nullptr)
      g_object_unref(icon);
}

GtkWidget* LStatusWindow::CreateStatusView(GtkTextView** view)
{
  GtkWidget* text = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(text), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(text), GTK_WRAP_WORD_CHAR);
  GdkColor base = {0, 0, 0, 0x2600};
  gtk_widget_modify_base(text, GTK_STATE_NORMAL, &base);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
  gtk_container_add(GTK_CONTAINER(scrolled), text);
  *view = GTK_TEXT_VIEW(text);
  return scrolled;
}

void LStatusWindow::Init(GtkTextView* view)
{
  view_ = view;
  buffer_ = gtk_text_view_get_buffer(view);
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer_, &end);
  end_ = gtk_text_buffer_create_mark(buffer_, "endpos", &end, FALSE);
  for (int i = 0; i < 3; ++i) {
    char path[260];
    icons_[i] = gdk_pixbuf_new_from_file(GetResourcePath(5 + i, path), nullptr);
  }
  GdkColor white = {0, 0xF000, 0xF000, 0xF000};
  GdkColor red = {0, 0xFF00, 0, 0};
  gtk_text_buffer_create_tag(buffer_, "white-color", "foreground-gdk", &white, nullptr);
  gtk_text_buffer_create_tag(buffer_, "error-color", "foreground-gdk", &red, nullptr);
}

void LStatusWindow::DisplayStatus(const char* time, const char* text, unsigned char level)
{
  Record line{std::string(time).substr(0, kPartBytes), std::string(text).substr(0, kPartBytes), level};
  std::lock_guard<std::mutex> guard(pendingLock_);
  pending_.push_back(std::move(line));
  // Lines beyond what the pane keeps would only be deleted again.
  if (pending_.size() > static_cast<std::size_t>(kMaxLines))
    pending_.pop_front();
  if (!posted_) {
    posted_ = true;
    sender_.NotifyData(0, nullptr, 0);
  }
}

void LStatusWindow::EvQueuedNotifyData(unsigned int, const void*, unsigned int)
{
  std::deque<Record> batch;
  {
    std::lock_guard<std::mutex> guard(pendingLock_);
    const std::size_t take = std::min(pending_.size(), static_cast<std::size_t>(kBatchLines));
    batch.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
    // More waiting: another pass, after whatever else the loop has queued.
    posted_ = !pending_.empty();
    if (posted_)
      sender_.NotifyData(0, nullptr, 0);
  }
  if (buffer_ == nullptr)
    return;
  gdk_threads_enter();
  for (const Record& line : batch)
    Insert(line);
  // Drop the oldest lines beyond the bound.
  int excess = GetLineCount() - kMaxLines;
  if (excess > 0) {
    GtkTextIter start;
    GtkTextIter cut;
    gtk_text_buffer_get_start_iter(buffer_, &start);
    gtk_text_buffer_get_iter_at_line(buffer_, &cut, excess);
    gtk_text_buffer_delete(buffer_, &start, &cut);
  }
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer_, &end);
  gtk_text_buffer_move_mark(buffer_, end_, &end);
  gtk_text_view_scroll_mark_onscreen(view_, end_);
  gdk_flush();
  gdk_threads_leave();
}

int LStatusWindow::GetLineCount() const
{
  return buffer_ == nullptr ? 0 : gtk_text_buffer_get_line_count(buffer_) - 1;
}

void LStatusWindow::Insert(const Record& line)
{
  const unsigned char level = line.level > 3 ? 0 : line.level;
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer_, &end);
  if (level == 0) {
    std::string text = line.time + "     " + line.text + "\n";
    gtk_text_buffer_insert_with_tags_by_name(buffer_, &end, text.c_str(), -1, "white-color", nullptr);
    return;
  }
  gtk_text_buffer_insert_with_tags_by_name(buffer_, &end, line.time.c_str(), -1, "white-color", nullptr);
  if (icons_[level - 1] != nullptr)
    gtk_text_buffer_insert_pixbuf(buffer_, &end, icons_[level - 1]);
  else
    gtk_text_buffer_insert(buffer_, &end, " ", -1);
  std::string rest = " " + line.text + "\n";
  gtk_text_buffer_insert_with_tags_by_name(buffer_, &end, rest.c_str(), -1, level == 1 ? "error-color" : "white-color",
                                           nullptr);
}
