#include "gui/install.h"

#include "gui/installpages.h"
#include "gui/uninstallpages.h"

#include <cstdlib>

bool RunInstallWizard(GtkWindow* parent)
{
  LWizard wizard;
  wizard.SetIcon("share/1.png");
  LLicenceTermsPage terms(wizard);
  LInstallPage install(wizard);
  LCommentPage comment(wizard);
  if (std::getenv("LQUIET") == nullptr)
    wizard.AddPage(&terms, "License Agreement", "Please read the following important information before continuing.");
  wizard.AddPage(&install, "Installing", "Velorin v 1.01");
  wizard.AddPage(&comment, "Velorin", "Velorin v 1.01");
  const bool finished = wizard.Open(parent);
  return install.IsInstalled() && finished;
}

bool RunUninstallWizard(GtkWindow* parent)
{
  bool finished = false;
  LWizard wizard;
  LUninstallConfirmPage confirm(wizard, finished);
  LUninstallCommentPage comments(wizard, finished);
  wizard.AddPage(&confirm, "Uninstall Software", "Uninstall Confirmation");
  wizard.AddPage(&comments, "Uninstall Software", "Send Uninstall Comments");
  return wizard.Open(parent) && !finished;
}
