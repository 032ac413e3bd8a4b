#include "gui/messagebox.h"

#include "app/messagebox.h"
#include "gui/window.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

std::thread::id gGuiThread;

// A box asked for on another thread (a capture thread that cannot open its
// card, a crash signal delivered to a worker) runs on the main loop; the
// asking thread waits for the answer.  Running the box's own loop on the
// worker would wait forever for the main context that the GUI thread owns.
struct LBoxRequest {
  std::function<gint()> run;
  gint result = GTK_RESPONSE_NONE;
  bool done = false;
  std::mutex mutex;
  std::condition_variable answered;
};

gint RunUnderLock(const std::function<gint()>& run)
{
  gdk_threads_enter();  // recursive: the GUI thread may already hold it
  gint result = run();
  gdk_threads_leave();
  return result;
}

gboolean GSRunBoxRequest(gpointer data)
{
  auto* request = static_cast<LBoxRequest*>(data);
  gint result = RunUnderLock(request->run);
  std::lock_guard<std::mutex> guard(request->mutex);
  request->result = result;
  request->done = true;
  request->answered.notify_one();
  return FALSE;
}

gint OnGuiThread(std::function<gint()> run)
{
  if (std::this_thread::get_id() == gGuiThread)
    return RunUnderLock(run);
  LBoxRequest request;
  request.run = std::move(run);
  g_idle_add(&GSRunBoxRequest, &request);
  std::unique_lock<std::mutex> lock(request.mutex);
  request.answered.wait(lock, [&] { return request.done; });
  return request.result;
}

// Runs one modal message dialog titled "Velorin".  A non-empty secondary
// text is the heading and the primary text the body under it.
gint RunBoxHere(GtkWindow* parent, GtkMessageType type, GtkButtonsType buttons, const char* primary,
                const char* secondary, bool noIcon)
{
  bool heading = secondary != nullptr && secondary[0] != '\0';
  GtkWidget* box = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          type, buttons, "%s", heading ? secondary : primary);
  if (heading)
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s", primary);
  gtk_window_set_title(GTK_WINDOW(box), "Velorin");
  if (noIcon)
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), gtk_image_new());
  gint response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return response;
}

gint RunBox(GtkWindow* parent, GtkMessageType type, GtkButtonsType buttons, const char* primary, const char* secondary,
            bool noIcon = false)
{
  return OnGuiThread([=] { return RunBoxHere(parent, type, buttons, primary, secondary, noIcon); });
}

GtkWindow* ParentOf(LWindow* parent)
{
  return parent != nullptr ? parent->GetGtkWindow() : nullptr;
}

class LGtkMessageBoxes : public LMessageBoxes {
public:
  void Info(LWindow* parent, const char* primary, const char* secondary) override
  {
    RunBox(ParentOf(parent), GTK_MESSAGE_INFO, GTK_BUTTONS_CLOSE, primary, secondary);
  }
  void InfoNoIcon(LWindow* parent, const char* primary, const char* secondary) override
  {
    RunBox(ParentOf(parent), GTK_MESSAGE_OTHER, GTK_BUTTONS_CLOSE, primary, secondary, true);
  }
  bool QueryYes(LWindow* parent, const char* primary, const char* secondary) override
  {
    return RunBox(ParentOf(parent), GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, primary, secondary) == GTK_RESPONSE_YES;
  }
  void Error(LWindow* parent, const char* text) override
  {
    RunBox(ParentOf(parent), GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, text, nullptr);
  }
};

LGtkMessageBoxes gGtkBoxes;

}  // namespace

void LInstallGtkMessageBoxes()
{
  gGuiThread = std::this_thread::get_id();
  LSetMessageBoxes(&gGtkBoxes);
}

LAnswer PopupBoxQueryYesNoCancel(GtkWindow* parent, const char* primary, const char* secondary)
{
  GtkWidget* box = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s", secondary);
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s", primary);
  gtk_dialog_add_buttons(GTK_DIALOG(box), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_NO, GTK_RESPONSE_NO,
                         GTK_STOCK_YES, GTK_RESPONSE_YES, nullptr);
  gtk_window_set_title(GTK_WINDOW(box), "Velorin");
  gint response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  if (response == GTK_RESPONSE_YES)
    return LAnswer::Yes;
  if (response == GTK_RESPONSE_NO)
    return LAnswer::No;
  return LAnswer::Cancel;
}
