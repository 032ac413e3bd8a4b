#pragma once
// The progress dialog of long operations run on the user interface thread
// (adding recordings): a window titled "Velorin" with two status lines, a
// progress bar and a Cancel button.  The operation runs while the dialog
// exists and keeps it responsive by letting it handle pending window events
// whenever it asks IsToStop() or waits.  Cancel, or closing the window,
// sets the stop flag; the window stays until the operation returns.  GTK
// main thread only.
#include <gtk/gtk.h>

#include "base/processresult.h"
#include "base/signalobject.h"

class LProgressDialog {
public:
  // Shows the dialog, modal over `parent` (may be null), with `text` on
  // the first status line.
  LProgressDialog(GtkWindow* parent, const char* text);
  ~LProgressDialog();
  LProgressDialog(const LProgressDialog&) = delete;
  LProgressDialog& operator=(const LProgressDialog&) = delete;

  // Handles pending window events, then answers whether to stop.
  bool IsToStop();
  // Waits up to ms for the signal while handling window events: 0 when
  // signalled, 1 when a stop was asked first, 2 on time-out.
  LProcessResult ProcessWaitSignal(LSignalObjectRef signal, unsigned int ms);
  void SetStatus1(const char* text);
  void SetStatus2(const char* text);
  // 0..1; values outside are clamped.
  void SetProgress(double fraction);
  // An error message box over the dialog.
  void SetError(const char* text);

  GtkWindow* GetGtkWindow() const { return GTK_WINDOW(window_); }

private:
  static void GSCancel(GtkWidget* widget, gpointer self);
  static gboolean GSDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  void PumpEvents();

  GtkWidget* window_;
  GtkWidget* status1_;
  GtkWidget* status2_;
  GtkWidget* bar_;
  bool stop_ = false;
};

// Runs the cooperative operation `op` (any type with a
// `Process(LProgressDialog&, T&)`) inside a modal progress dialog over the
// window of `parent`, with `title` on its first status line.  True when
// the operation's result is 0.
template <class T>
bool ProcessDialogRun(GtkWidget* parent, const char* title, T& op)
{
  GtkWindow* window = nullptr;
  if (parent != nullptr) {
    GtkWidget* top = gtk_widget_get_toplevel(parent);
    if (GTK_IS_WINDOW(top))
      window = GTK_WINDOW(top);
  }
  LProgressDialog dialog(window, title);
  return Process(dialog, op) == kProcessDone;
}
