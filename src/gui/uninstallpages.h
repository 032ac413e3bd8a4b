#pragma once
// The pages of the uninstall wizard.  The two share a "finished" flag owned
// by the wizard's caller: set, the wizard's result is false (nothing to
// uninstall).  GTK main thread only.
#include "gui/wizard.h"

class LUninstallConfirmPage : public LWizardPage {
public:
  LUninstallConfirmPage(LWizard& wizard, bool& finished) : LWizardPage(wizard), finished_(finished) {}
  void BuildControls(GtkWidget* box) override;
  void EnableControls() override;
  bool CmOk() override;

private:
  bool& finished_;
};

class LUninstallCommentPage : public LWizardPage {
public:
  struct Comments {
    const char* code;
    const char* text;
    const char* prompt;  // null: no typed comment
    const char* info;    // null: no information text
  };
  static const Comments kComments[5];

  LUninstallCommentPage(LWizard& wizard, bool& finished) : LWizardPage(wizard), finished_(finished) {}
  void BuildControls(GtkWidget* box) override;
  bool InitDialog() override;
  void EnableControls() override;
  void Command(int id) override;
  bool CmOk() override;

private:
  bool& finished_;
};
