#pragma once

class LWindow;

// Modal message boxes with the window title "Velorin".  The desktop installs
// its toolkit implementation at start-up; until then, and in the service and
// console runs, every box is written to the log instead and a question is
// answered No.  Called on the GUI thread (or the only thread of a console
// run).
class LMessageBoxes {
public:
  virtual void Info(LWindow* parent, const char* primary, const char* secondary) = 0;
  virtual void InfoNoIcon(LWindow* parent, const char* primary, const char* secondary) = 0;
  // True for Yes.
  virtual bool QueryYes(LWindow* parent, const char* primary, const char* secondary) = 0;
  virtual void Error(LWindow* parent, const char* text) = 0;

protected:
  ~LMessageBoxes() = default;
};

// Installs boxes (null restores the log).  The object must outlive its use.
void LSetMessageBoxes(LMessageBoxes* boxes);

void PopupBoxInfo(LWindow* parent, const char* primary, const char* secondary);
void PopupBoxInfoNoIcon(LWindow* parent, const char* primary, const char* secondary);
bool PopupBoxQueryYes(LWindow* parent, const char* primary, const char* secondary);
void PopupBoxError(LWindow* parent, const char* text);
