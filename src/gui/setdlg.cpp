#include "gui/setdlg.h"

#include <memory>

#include "gui/setdlggeneral.h"
#include "gui/setdlglive.h"
#include "gui/setdlgother.h"
#include "gui/setdlgrecordings.h"

bool RunSettingsDialog(GtkWindow* parent)
{
  LPropertySheet sheet("Velorin Settings");
  sheet.AddPage(std::make_unique<LGeneralPage>());
  sheet.AddPage(std::make_unique<LLivePage>());
  sheet.AddPage(std::make_unique<LRecordingsPage>());
  sheet.AddPage(std::make_unique<LOtherPage>());
  return sheet.Run(parent);
}
