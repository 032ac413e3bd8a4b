#pragma once

// Taking the program out of the system: the service first (nothing is
// removed when it cannot be stopped), then the start-up entries, the
// running user's data, the program folder and the menu entry and icons.
// Called on the GUI thread or the main thread of a console run.
class UninstallDialog {
public:
  static bool Uninstall();
};
