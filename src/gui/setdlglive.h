#pragma once
// The settings dialog's Live page: the list of live inputs with Add,
// Remove and Edit.  Its buttons write the inputs at once, so a change
// stays even when the sheet is cancelled.
#include "gui/propertysheet.h"

enum : int {
  kIdLiveSelection = 120,
  kIdLiveList = 121,
  kIdLiveAdd = 122,
  kIdLiveRemove = 123,
  kIdLiveEdit = 124,
};

void DlgGenLive(LDialogGenContext& gen);

class LLivePage : public LPropertyPage {
public:
  LLivePage();

  bool InitDialog() override;
  void Command(int id) override;

private:
  void FillList();
  void CmAdd();
  void CmRemove();
  void CmEdit();
};
