#pragma once
// Lays a dialog's controls out top to bottom: groups (framed), static
// text, inputs, lists and button rows, each registered by id with the
// window (LWindow::AddControl, which routes clicks and toggles to its
// Command).  A pull-down list's change sends Command(id), a list's
// selection change the command given when it was added.  GTK main thread
// only.
#include <gtk/gtk.h>

#include <utility>
#include <vector>

#include "gui/window.h"

class LDialogGenContext {
public:
  LDialogGenContext(GtkWidget* box, LWindow& window);

  void BeginGroup(const char* title);
  void EndGroup();

  void AddStatic(const char* text);
  void AddCheck(int id, const char* label);
  // `firstId` 0 starts a new group of radio buttons, otherwise the button
  // joins the group of that id.
  void AddRadio(int id, const char* label, int firstId);
  // A label (null for none) and a text input; `indent` sets it under the
  // control above it.
  void AddEntry(int id, const char* label, bool indent = false);
  // A text input with a browse button (id `buttonId`, text `buttonLabel`)
  // on its right.
  void AddEntryBrowse(int id, const char* label, int buttonId, const char* buttonLabel, bool indent);
  void AddSpin(int id, const char* label);
  void AddCombo(int id, const char* label, bool indent = false);
  void AddLink(const char* label, const char* uri);
  // Columns: title and width in pixels.
  void AddList(int id, const std::vector<std::pair<const char*, int>>& columns, int selectionCommand,
               bool multiple = false);
  void AddButtons(const std::vector<std::pair<int, const char*>>& buttons);

private:
  GtkWidget* Current() const { return stack_.back(); }
  void Pack(GtkWidget* widget, bool expand = false);
  void PackLabelled(const char* label, GtkWidget* widget, bool indent);

  LWindow& window_;
  std::vector<GtkWidget*> stack_;
};
