#pragma once
// The settings dialog's Other page: the banner of the ASX playlists.
#include "gui/propertysheet.h"

enum : int {
  kIdOtherDefaultBanner = 141,
  kIdOtherCustomBanner = 142,
  kIdOtherPath = 143,
  kIdOtherBrowse = 144,
  kIdOtherURL = 145,
};

void DlgGenOther(LDialogGenContext& gen);

class LOtherPage : public LPropertyPage {
public:
  LOtherPage();

  bool InitDialog() override;
  bool CmOk() override;
  void EnableControls() override;
  void Command(int id) override;

private:
  void CmBrowse();
};
