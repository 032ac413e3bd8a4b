#pragma once
// Operations on the two control kinds that LWindow's accessors leave out:
// lists (a tree view over a store of text columns) and emptying or
// selecting by text in a pull-down list.  Null widgets are ignored.  GTK
// main thread only.
#include <gtk/gtk.h>

#include <vector>

void LListClear(GtkWidget* list);
void LListAdd(GtkWidget* list, const std::vector<const char*>& columns);
int LListCount(GtkWidget* list);
// The text of one cell into out (260 bytes; empty for no such row).
void LListGetText(GtkWidget* list, int row, int column, char* out);
void LListSelect(GtkWidget* list, int row);
// Selected rows top to bottom; the first of them or -1.
std::vector<int> LListGetSelRows(GtkWidget* list);
int LListGetSel(GtkWidget* list);

void LComboClear(GtkWidget* combo);
// Selects the entry whose text is exactly `text`; without one, no entry is
// selected and the result is false.
bool LComboSelectText(GtkWidget* combo, const char* text);
