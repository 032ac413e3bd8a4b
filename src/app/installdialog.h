#pragma once
#include <functional>

// The install steps shared by the console install and the install wizard's
// page: folders, menu entry and desktop icons, autostart, the service, the
// encoder component and the shared data folder's rights.  Called on the GUI
// thread or the main thread of a console run.
class InstallDialog {
public:
  // Creates the program's bin, share and help folders.
  static bool Initialize();
  // The end of every install, once the files are in the program folder.
  static bool Finalize();
  // Writes the menu entry, refreshes the desktop database and puts a copy
  // on every account's desktop.  True when the menu entry exists.
  static bool AddDesktopShortCut();
  static void RemoveDesktopShortCut();
  static void UpdateFileTypes();
};

// Runs the component's installer ("bash bin/NAME.component") with root
// rights; shows "Missing Component" when the component is still not found.
// True when it is installed.
bool InstallComponentFromResource(const char* component);
// The components the program needs: the encoder and the two decoders.
void LInstallComponents();

// Calls each(name, source, target) for every folder of the release folder
// (bin, etc, share...) with its place in the program folder.
void LForEachReleaseFolder(const char* release,
                           const std::function<void(const char* name, const char* source, const char* target)>& each);
