#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <map>

// A window or a part of one (a dialog, a property page, the main window):
// its controls are GTK widgets registered under integer ids, so that the
// dialog code reads and writes them by id.  GUI thread only, under the GDK
// lock.
class LWindow {
public:
  LWindow() = default;
  LWindow(const LWindow&) = delete;
  LWindow& operator=(const LWindow&) = delete;
  virtual ~LWindow() = default;

  // Virtual operations in their fixed slot order.  Cm handlers that return
  // bool answer whether the window may close.
  virtual bool InitDialog() { return true; }
  virtual void DestroyDialog() {}
  virtual bool CmOk() { return true; }
  virtual bool CmCancel() { return true; }
  virtual void CmHelp() {}
  virtual void EnableControls() {}
  virtual void Command(int /*id*/) {}
  virtual void CmClose() {}
  virtual void Close(int /*code*/) {}
  virtual void CmExit() {}

  // The window's top-level GTK window, or null before it exists (a page
  // answers its sheet's window).
  virtual GtkWindow* GetGtkWindow() const { return window_; }

  // Registers a control.  Buttons send Command(id) when clicked; check and
  // radio buttons also call EnableControls() when toggled.  The widget stays
  // owned by its GTK container.
  GtkWidget* AddControl(int id, GtkWidget* widget);
  GtkWidget* GetControl(int id) const;

  // Text of an entry, label, button, text combo box (the selected item) or
  // spin button; `out` receives at most size-1 bytes and is always ended.
  void GetControlText(int id, char* out, std::size_t size) const;
  void SetControlText(int id, const char* text);
  // Value of a spin button or the selected index of a combo box (-1 for
  // none); for an entry, its text read as a decimal number (0 if it is not).
  int GetControlInt(int id) const;
  void SetControlInt(int id, int value);
  // The spin button's range, step 1.
  void SetControlRange(int id, int low, int high);
  bool GetControlCheck(int id) const;
  void SetControlCheck(int id, bool on);
  void EnableControl(int id, bool enable);
  // Appends an item to a text combo box.
  void AddControlListItem(int id, const char* text);

  // Shows a validation message against a control: a notification bubble when
  // libnotify can be loaded, else a message box without icon.  The window
  // stays open either way.
  void PopupControlDataInvalid(int id, const char* text, const char* title);

protected:
  void SetGtkWindow(GtkWindow* window) { window_ = window; }
  // Forgets every control (their widgets are gone with the window).
  void ClearControls() { controls_.clear(); }

private:
  static void GSClicked(GtkWidget* widget, gpointer self);
  static void GSToggled(GtkWidget* widget, gpointer self);

  GtkWindow* window_ = nullptr;
  std::map<int, GtkWidget*> controls_;
};
