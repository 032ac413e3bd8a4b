#include "gui/startmodeops.h"

#include "settings/settings.h"

namespace {

class LSettingsStartModeOps final : public LStartModeOps {
public:
  bool IsRun() override { return LSettingGet(VLKeys::AutoRun); }
  bool IsRunUser() override { return LSettingGet(VLKeys::UserAutoRun); }
  bool IsRunService() override { return ServiceIsAutoRun(); }
  bool ServiceIsAutoRun() override { return LSettingGet(VLKeys::ServiceEnabled); }
  bool SetRunService(bool enable) override
  {
    LSettingSet(VLKeys::ServiceEnabled, enable);
    return true;
  }
  void SetAllUserRun(bool) override {}
  bool SetRunUser(bool enable) override
  {
    LSettingSet(VLKeys::UserAutoRun, enable);
    return true;
  }
};

LSettingsStartModeOps gDefaultOps;
LStartModeOps* gOps = &gDefaultOps;

} // namespace

LStartModeOps& GetStartModeOps() { return *gOps; }

void SetStartModeOps(LStartModeOps* ops) { gOps = ops != nullptr ? ops : &gDefaultOps; }
