#pragma once
// The pages of the install wizard.  GTK main thread only.
#include "app/installdialog.h"
#include "gui/wizard.h"

class LLicenceTermsPage : public LWizardPage {
public:
  using LWizardPage::LWizardPage;
  void BuildControls(GtkWidget* box) override;
  void EnableControls() override;
  bool CmCancel() override;
};

// Moves the unpacked folder's files into the program folder, then runs the
// install steps; goes on as Next when done, as Cancel when it failed.
class LInstallPage : public LWizardProcessBase, public InstallDialog {
public:
  using LWizardProcessBase::LWizardProcessBase;
  bool IsInstalled() const { return installed_; }

protected:
  void Start() override;

private:
  bool Install();
  // Moves every file and sub-folder of from into to; false when stopped.
  bool MoveFolder(const char* from, const char* to);

  bool installed_ = false;
  double progress_ = 0;
};

class LCommentPage : public LWizardPage {
public:
  using LWizardPage::LWizardPage;
  void BuildControls(GtkWidget* box) override;
  void Activate() override { EnableGoBack(false); }
};

// A read-only text box of the given text, packed into box.
void LAddReadOnlyText(GtkWidget* box, const char* text);
