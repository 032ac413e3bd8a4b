#include "app/mainengineproxy.h"

#include "app/messagebox.h"
#include "settings/settings.h"

#include <cstdint>

void MainEngineProxy::Start()
{
  OpenWebPorts();
  LServiceEngineProxy<MainEngine>::Start();
}

void MainEngineProxy::CtlRestart()
{
  OpenWebPorts();
  Control(kEngineCtlRestart);
}

void MainEngineProxy::OpenWebPorts()
{
  const auto port = static_cast<uint16_t>(LSettingGet(VLKeys::WebAccessServerPort));
  const auto previous = static_cast<uint16_t>(LSettingGet(VLKeys::WebAccessPreviousServerPort));
  if (port == previous)
    return;
  PopupBoxInfo(nullptr,
               "Velorin will now attempt to start its internal web server. You must click Unblock or Allow to any "
               "of the following prompts to allow other computers to connect to this computer over the network.",
               "WebServer Starting");
  // Opening the port in the platform's firewall ("Velorin Web Server") has
  // nothing to do on Linux, where no such request is made.
  LSettingSet(VLKeys::WebAccessPreviousServerPort, static_cast<int>(port));
}
