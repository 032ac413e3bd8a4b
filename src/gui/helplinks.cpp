#include "gui/helplinks.h"

#include "app/messagebox.h"
#include "gui/openaddress.h"

const LHelpLink kHelpLinks[6] = {
    {"_Contents", 9001, "http://www.velorin.example/manual/"},
    {"Velorin _Home Page", 9005, "http://www.velorin.example/velorin/"},
    {"Online _Support", 9006, "http://www.velorin.example/support/"},
    {"_Maker's Home Page", 9009, "http://www.velorin.example/"},
    {"_Product Page", 9080, "http://www.velorin.example/velorin/product.html"},
    {"_About Velorin", 9090, nullptr},
};

bool LRunHelpCommand(int command, LWindow* parent)
{
  for (const LHelpLink& link : kHelpLinks) {
    if (link.command != command)
      continue;
    if (link.address != nullptr)
      LOpenAddress(link.address);
    else
      PopupBoxInfo(parent, "Streaming audio server: live inputs and recordings for listeners over the web.", "Velorin");
    return true;
  }
  return false;
}
