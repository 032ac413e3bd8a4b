#pragma once
// The settings dialog's Recordings page: the recordings library (the
// "High" folder) with Add, which converts the chosen files into both rate
// folders inside a modal progress dialog, and Remove.
#include <string>
#include <vector>

#include "gui/propertysheet.h"

enum : int {
  kIdRecList = 131,
  kIdRecAdd = 133,
  kIdRecRemove = 134,
  kIdRecSelection = 1001,
};

void DlgGenRecordings(LDialogGenContext& gen);

class LRecordingsPage : public LPropertyPage {
public:
  LRecordingsPage();

  bool InitDialog() override;
  void Command(int id) override;
  void EnableControls() override;

private:
  void SetupList();
  void CmAdd();
  void CmDelete();
  // Asks for the settings of raw formats, then converts every path.
  void AddFiles(const std::vector<std::string>& paths);
};
