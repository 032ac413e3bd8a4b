#pragma once
// The stream input dialog: the name, capture device and Icecast address of
// one live input (zero-based index; the index Sources edits a new, last
// input).  OK writes them at once; a device already used by another input
// and an address that is not an Icecast source URL are refused.
#include "gui/dialog.h"

enum : int { kIdSourceName = 151, kIdSourceDevice = 152, kIdSourcePublish = 153 };

class LDialogGenContext;
void DlgGenSource(LDialogGenContext& gen);

class LSourceSettingsDlg : public LDialog {
public:
  explicit LSourceSettingsDlg(int index);

  bool InitDialog() override;
  bool CmOk() override;
  void CmHelp() override;

private:
  void BuildControls(GtkWidget* box) override;

  int number_;  // from 1
};
