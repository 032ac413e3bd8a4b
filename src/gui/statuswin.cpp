#include "gui/statuswin.h"

#include "base/file.h"
#include "base/stringtools.h"

#include <cstring>

namespace {

// The queued record: time, a zero byte, text, a zero byte.
constexpr std::size_t kPartBytes = 260;

} // namespace

LStatusWindow::LStatusWindow() { sender_.SetNotifyHandler(*this); }

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
  char record[2 * kPartBytes];
  std::size_t timeBytes = tstrlcpy(record, time, kPartBytes);
  if (timeBytes >= kPartBytes)
    timeBytes = kPartBytes - 1;
  std::size_t textBytes = tstrlcpy(record + timeBytes + 1, text, kPartBytes);
  if (textBytes >= kPartBytes)
    textBytes = kPartBytes - 1;
  sender_.NotifyData(level, record, static_cast<unsigned int>(timeBytes + 1 + textBytes + 1));
}

void LStatusWindow::EvQueuedNotifyData(unsigned int level, const void* data, unsigned int size)
{
  if (data == nullptr || size < 2)
    return;
  const char* time = static_cast<const char*>(data);
  const char* text = time + std::strlen(time) + 1;
  gdk_threads_enter();
  Insert(time, text, static_cast<unsigned char>(level));
  gdk_threads_leave();
}

int LStatusWindow::GetLineCount() const
{
  return buffer_ == nullptr ? 0 : gtk_text_buffer_get_line_count(buffer_) - 1;
}

void LStatusWindow::Insert(const char* time, const char* text, unsigned char level)
{
  if (buffer_ == nullptr)
    return;
  if (level > 3)
    level = 0;
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer_, &end);
  if (level == 0) {
    gchar* line = g_strdup_printf("%s     %s\n", time, text);
    gtk_text_buffer_insert_with_tags_by_name(buffer_, &end, line, -1, "white-color", nullptr);
    g_free(line);
  } else {
    gtk_text_buffer_insert_with_tags_by_name(buffer_, &end, time, -1, "white-color", nullptr);
    if (icons_[level - 1] != nullptr)
      gtk_text_buffer_insert_pixbuf(buffer_, &end, icons_[level - 1]);
    else
      gtk_text_buffer_insert(buffer_, &end, " ", -1);
    gchar* rest = g_strdup_printf(" %s\n", text);
    gtk_text_buffer_insert_with_tags_by_name(buffer_, &end, rest, -1, level == 1 ? "error-color" : "white-color",
                                             nullptr);
    g_free(rest);
  }
  // Drop the oldest lines beyond the bound.
  int excess = GetLineCount() - kMaxLines;
  if (excess > 0) {
    GtkTextIter start;
    GtkTextIter cut;
    gtk_text_buffer_get_start_iter(buffer_, &start);
    gtk_text_buffer_get_iter_at_line(buffer_, &cut, excess);
    gtk_text_buffer_delete(buffer_, &start, &cut);
  }
  gtk_text_buffer_get_end_iter(buffer_, &end);
  gtk_text_buffer_move_mark(buffer_, end_, &end);
  gtk_text_view_scroll_mark_onscreen(view_, end_);
  gdk_flush();
}
