#pragma once
#include "app/engineproxy.h"
#include "app/mainengine.h"

// The desktop's engine proxy for MainEngine.  GUI thread.
class MainEngineProxy : public LServiceEngineProxy<MainEngine> {
public:
  // OpenWebPorts, then connect to the service or run in foreground.
  void Start();
  // After the settings dialog: OpenWebPorts, then control code 1.
  void CtlRestart();

  // Before the web server first opens its port on this installation: tells
  // the user that a firewall may ask, and records the port as announced.
  static void OpenWebPorts();
};
