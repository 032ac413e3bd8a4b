#include "app/installreport.h"

#include "base/formatter.h"
#include "base/processresult.h"
#include "base/stringlong.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "web/http.h"

namespace {

constexpr int kReportTimeoutMs = 5000;

void Post(const char* body)
{
  char address[kPathSize];
  LSettingGet(VLKeys::ReportAddress, address);
  if (address[0] == 0)
    return;
  LProcessInterfaceVoid never;
  if (ProcessHTTPPostForm(never, address, body, kReportTimeoutMs) != kProcessDone)
    LOGWARNF("The report could not be sent to %s", address);
}

}  // namespace

void LSendInstallReport()
{
  Post("software=Velorin&version=1.01&report=INSTALL");
}

void LSendUninstallReport(const char* code, const char* comment)
{
  LStringLongTemplate body;
  sprintf(body, "software=Velorin&version=1.01&report=UNINSTALL&text=%s-%U", code, comment != nullptr ? comment : "");
  Post(body.c_str());
}
