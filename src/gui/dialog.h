#pragma once

#include "gui/window.h"

// Command ids shared by every dialog's buttons.
enum : int { kIdOk = 1, kIdCancel = 2, kIdHelp = 9 };

// A modal dialog: Run() builds a GTK dialog with the given buttons, lets the
// subclass add its controls, calls InitDialog and EnableControls and waits
// until the dialog ends.  OK ends it when CmOk() answers true, Cancel and the
// window manager's close when CmCancel() does; EndDialog ends it from any
// handler.  GUI thread only.
class LDialog : public LWindow {
public:
  // width < 0 leaves the width to GTK.
  explicit LDialog(const char* title, int width = -1, bool helpButton = false);

  // Returns the code handed to EndDialog (kIdOk or kIdCancel for the buttons).
  int Run(GtkWindow* parent);
  void EndDialog(int code);

  // The dialog's content box while it runs, else null.
  GtkWidget* ContentBox() const { return content_; }

protected:
  // Adds the controls to `box` (a vertical box) with AddControl.
  virtual void BuildControls(GtkWidget* /*box*/) {}

private:
  void OnResponse(gint response);

  char title_[260];
  int width_;
  bool help_;
  GtkWidget* content_ = nullptr;
  int result_ = kIdCancel;
  bool ended_ = false;
};
