#pragma once
// The stream input dialog: the name and capture device of one live input
// (zero-based index; the index Sources edits a new, last input).  OK
// writes both at once; a device already used by another input is refused.
#include "gui/dialog.h"

enum : int { kIdSourceName = 151, kIdSourceDevice = 152 };

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

  int number_; // from 1
};
