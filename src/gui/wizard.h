#pragma once
// A generic wizard: one dialog window with a page area and the buttons Back,
// Next, Finish and Cancel, showing one page at a time.  Pages are windows
// (controls by id) that build their controls once, when the wizard opens.
// GTK main thread only.
#include "gui/window.h"

#include <gtk/gtk.h>

#include <vector>

class LWizard;

// The wizard's command numbers (also its GTK response ids).
enum : int { kWizardBack = 3, kWizardNext = 4, kWizardFinish = 5, kWizardCancel = 6 };

class LWizardPage : public LWindow {
public:
  explicit LWizardPage(LWizard& wizard) : wizard_(wizard) {}

  // Adds the page's controls to box (a vertical box).
  virtual void BuildControls(GtkWidget* box) = 0;
  // The page became current / stops being current.
  virtual void Activate() {}
  virtual void Deactivate() {}

  void EnableGoBack(bool enable);
  void EnableChangePage(bool enable);
  void EnableFinish(bool enable);
  void DisableAllButtons();
  void Next();
  void Back();
  void Finish() { Next(); }
  void NextOrFinish() { Next(); }
  void Cancel();

  GtkWindow* GetGtkWindow() const override;

protected:
  LWizard& wizard_;
};

class LWizard {
public:
  LWizard() = default;
  LWizard(const LWizard&) = delete;
  LWizard& operator=(const LWizard&) = delete;

  // The page stays owned by the caller and must outlive Open.
  void AddPage(LWizardPage* page, const char* title, const char* subtitle);
  void SetIcon(const char* path);
  // Runs the wizard; true when it was finished from a page whose finish
  // result is 1 (the last) and that page accepted (CmOk).
  bool Open(GtkWindow* parent);

  void Command(int command);
  void EnableButton(int command, bool enable);
  GtkWindow* GetGtkWindow() const { return dialog_ != nullptr ? GTK_WINDOW(dialog_) : nullptr; }
  int GetCurrentPage() const { return current_; }

private:
  struct Page {
    LWizardPage* page;
    char title[260];
    char subtitle[260];
    GtkWidget* box;
    unsigned char finish;
  };

  void ShowPage(int index);
  void End(unsigned char result);

  std::vector<Page> pages_;
  char icon_[260] = "";
  GtkWidget* dialog_ = nullptr;
  int current_ = -1;
  unsigned char result_ = 0;
  bool ended_ = false;
  bool accepted_ = false;
};

// A page that runs work once it becomes current (on the GUI thread, from a
// 10 ms timer's first tick): two status lines and a progress bar.  The work
// keeps the window alive by asking IsToStop(), which handles pending events.
class LWizardProcessBase : public LWizardPage {
public:
  explicit LWizardProcessBase(LWizard& wizard) : LWizardPage(wizard) {}
  ~LWizardProcessBase() override;

  void BuildControls(GtkWidget* box) override;
  void Activate() override;
  void Deactivate() override;

  void SetStatus1(const char* text);
  void SetStatus2(const char* text);
  // Clamped to 0..1.
  void SetProgress(double value);
  // An error box over the wizard.
  void SetError(const char* text);
  bool IsToStop();

protected:
  virtual void Start() = 0;

private:
  static gboolean GSTimer(gpointer self);

  guint timer_ = 0;
  bool stop_ = false;
};
