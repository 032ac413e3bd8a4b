#include "gui/statuswin.h"

#include <gtest/gtest.h>

#include "common/waitfor.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

TEST(StatusPane, FloodOfLogLinesKeepsTheLoopAnsweringAndTheLineCountBounded)
{
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display";
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 300, 250);
  GtkTextView* view = nullptr;
  gtk_container_add(GTK_CONTAINER(window), LStatusWindow::CreateStatusView(&view));
  gtk_widget_show_all(window);
  auto pane = std::make_unique<LLogWindow>();
  pane->Init(view);

  // A minute of 100 lines a second, fed ten times faster; every tenth line asks the main loop for an answer.
  constexpr int kLines = 6000;
  int answered = 0;
  std::atomic<bool> fed{false};
  std::thread feeder([&] {
    for (int i = 0; i < kLines; ++i) {
      const std::string text = "listener connection " + std::to_string(i);
      switch (i % 4) {
      case 0: LOG(text.c_str()); break;
      case 1: LOGERROR(text.c_str()); break;
      case 2: LOGWARN(text.c_str()); break;
      default: LOGINFO(text.c_str()); break;
      }
      if (i % 10 != 9)
        continue;
      g_idle_add([](gpointer count) { return ++*static_cast<int*>(count), FALSE; }, &answered);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fed = true;
  });

  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  auto text = [&] {
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    std::unique_ptr<gchar, decltype(&g_free)> all(gtk_text_buffer_get_text(buffer, &start, &end, FALSE), g_free);
    return std::string(all.get());
  };
  const std::string first = "listener connection " + std::to_string(kLines - LStatusWindow::kMaxLines) + "\n";
  const std::string last = "listener connection " + std::to_string(kLines - 1);
  int most = 0;
  for (const auto start = Clock::now(); MsSince(start) < 240000;) {
    gtk_main_iteration_do(FALSE) || (g_usleep(1000), true);
    most = std::max(most, pane->GetLineCount());
    if (fed && answered == kLines / 10 && text().find(last) != std::string::npos)
      break;
  }
  feeder.join();

  ASSERT_EQ(answered, kLines / 10) << "the main loop stopped answering";
  EXPECT_LE(most, LStatusWindow::kMaxLines);
  EXPECT_EQ(pane->GetLineCount(), LStatusWindow::kMaxLines);
  const std::string shown = text();
  EXPECT_NE(shown.substr(0, shown.find('\n') + 1).find(first), std::string::npos) << "the oldest lines went first";
  pane.reset();
  gtk_widget_destroy(window);
}

}  // namespace
