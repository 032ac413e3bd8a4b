#include "gui/progressdialog.h"

#include <algorithm>

#include "app/messagebox.h"

namespace {
// Events are handled at least this often while waiting for a signal.
constexpr unsigned int kPumpSliceMs = 20;
}  // namespace

LProgressDialog::LProgressDialog(GtkWindow* parent, const char* text)
{
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Velorin");
  // A window that cannot be resized takes its content's size, so the
  // size is asked of the widget itself.
  gtk_widget_set_size_request(window_, 300, 110);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  if (parent != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(window_), parent);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER_ON_PARENT);
  }
  g_signal_connect(window_, "delete-event", G_CALLBACK(GSDelete), this);

  GtkWidget* box = gtk_vbox_new(FALSE, 4);
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  status1_ = gtk_label_new(text);
  status2_ = gtk_label_new("");
  for (GtkWidget* label : {status1_, status2_}) {
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_MIDDLE);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
  }
  bar_ = gtk_progress_bar_new();
  gtk_box_pack_start(GTK_BOX(box), bar_, FALSE, FALSE, 0);
  GtkWidget* buttons = gtk_hbutton_box_new();
  gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
  GtkWidget* cancel = gtk_button_new_from_stock(GTK_STOCK_CANCEL);
  g_signal_connect(cancel, "clicked", G_CALLBACK(GSCancel), this);
  gtk_container_add(GTK_CONTAINER(buttons), cancel);
  gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  gtk_widget_show_all(window_);
  PumpEvents();
}

LProgressDialog::~LProgressDialog()
{
  gtk_widget_destroy(window_);
}

void LProgressDialog::GSCancel(GtkWidget*, gpointer self)
{
  static_cast<LProgressDialog*>(self)->stop_ = true;
}

gboolean LProgressDialog::GSDelete(GtkWidget*, GdkEvent*, gpointer self)
{
  static_cast<LProgressDialog*>(self)->stop_ = true;
  return TRUE;  // the window goes when the operation has returned
}

void LProgressDialog::PumpEvents()
{
  while (gtk_events_pending())
    gtk_main_iteration_do(FALSE);
}

bool LProgressDialog::IsToStop()
{
  PumpEvents();
  return stop_;
}

LProcessResult LProgressDialog::ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms)
{
  for (;;) {
    if (IsToStop())
      return kProcessStopped;
    unsigned int slice = std::min(ms, kPumpSliceMs);
    if (signal.WaitSignal(slice))
      return kProcessDone;
    ms -= slice;
    if (ms == 0)
      return kProcessFailed;
  }
}

void LProgressDialog::SetStatus1(const char* text)
{
  gtk_label_set_text(GTK_LABEL(status1_), text);
  PumpEvents();
}

void LProgressDialog::SetStatus2(const char* text)
{
  gtk_label_set_text(GTK_LABEL(status2_), text);
  PumpEvents();
}

void LProgressDialog::SetProgress(double fraction)
{
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), std::clamp(fraction, 0.0, 1.0));
  PumpEvents();
}

void LProgressDialog::SetError(const char* text)
{
  PopupBoxError(nullptr, text);
}
