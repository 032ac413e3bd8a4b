#pragma once
// A modal property sheet: one dialog with a tab per page and the buttons
// OK, Cancel and Help.  OK asks every page in order to validate and write
// its settings (CmOk); a page that answers false is brought to the front
// and the sheet stays open.  Help opens the current page's help topic;
// Cancel and the window manager's close call every page's CmCancel and end
// the sheet.  GTK main thread only.
#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "gui/dialog.h"

class LDialogGenContext;
class LPropertySheet;

// The layout function of a page or dialog: adds its controls top to bottom.
using LDialogGenFn = void (*)(LDialogGenContext&);

class LPropertyPage : public LDialog {
public:
  // `tab` is the page's tab label, `helpTopic` the topic its Help opens.
  LPropertyPage(const char* tab, const char* helpTopic, LDialogGenFn layout);

  GtkWindow* GetGtkWindow() const override;
  void CmHelp() override;

  const char* GetTab() const { return tab_; }

private:
  friend class LPropertySheet;
  // Builds the page's controls into a new box and fills them (InitDialog,
  // EnableControls).
  GtkWidget* Create(LPropertySheet& sheet);
  void Destroy();

  void BuildControls(GtkWidget* box) override;

  const char* tab_;
  const char* helpTopic_;
  LDialogGenFn layout_;
  LPropertySheet* sheet_ = nullptr;
};

class LPropertySheet {
public:
  explicit LPropertySheet(const char* title);
  LPropertySheet(const LPropertySheet&) = delete;
  LPropertySheet& operator=(const LPropertySheet&) = delete;

  void AddPage(std::unique_ptr<LPropertyPage> page);
  // Shows the sheet modally over `parent`; true when it ended with OK.
  bool Run(GtkWindow* parent);

  // The sheet's window while it runs, else null.
  GtkWindow* GetGtkWindow() const { return window_; }

private:
  // True when every page accepted; otherwise the refusing page is shown.
  bool OkPages();

  const char* title_;
  std::vector<std::unique_ptr<LPropertyPage>> pages_;
  GtkWindow* window_ = nullptr;
  GtkWidget* notebook_ = nullptr;
};
