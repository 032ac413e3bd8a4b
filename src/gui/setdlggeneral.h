#pragma once
// The settings dialog's General page: start-up registration, the web
// server's port, the host shown in the site's links and the two listener
// bit rates.
#include "gui/propertysheet.h"

// Control ids (102 and 103 are the start-mode controls).
enum : int {
  kIdGenRunAtStart = 102,
  kIdGenStartMode = 103,
  kIdGenPort = 104,
  kIdGenDirect = 105,
  kIdGenHostKnown = 106,
  kIdGenHost = 107,
  kIdGenDialUp = 108,
  kIdGenBroadBand = 109,
};

void DlgGenGeneral(LDialogGenContext& gen);

class LGeneralPage : public LPropertyPage {
public:
  LGeneralPage();

  bool InitDialog() override;
  bool CmOk() override;
  void EnableControls() override;
};
