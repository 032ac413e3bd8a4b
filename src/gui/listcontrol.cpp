#include "gui/listcontrol.h"

#include "base/stringtools.h"

namespace {

GtkTreeModel* Model(GtkWidget* list)
{
  return gtk_tree_view_get_model(GTK_TREE_VIEW(list));
}

bool NthRow(GtkWidget* list, int row, GtkTreeIter* iter)
{
  return list != nullptr && row >= 0 && gtk_tree_model_iter_nth_child(Model(list), iter, nullptr, row);
}

}  // namespace

void LListClear(GtkWidget* list)
{
  if (list != nullptr)
    gtk_list_store_clear(GTK_LIST_STORE(Model(list)));
}

void LListAdd(GtkWidget* list, const std::vector<const char*>& columns)
{
  if (list == nullptr)
    return;
  GtkListStore* store = GTK_LIST_STORE(Model(list));
  GtkTreeIter iter;
  gtk_list_store_append(store, &iter);
  int count = gtk_tree_model_get_n_columns(GTK_TREE_MODEL(store));
  for (int c = 0; c < count && c < static_cast<int>(columns.size()); ++c)
    gtk_list_store_set(store, &iter, c, columns[static_cast<std::size_t>(c)], -1);
}

int LListCount(GtkWidget* list)
{
  return list != nullptr ? gtk_tree_model_iter_n_children(Model(list), nullptr) : 0;
}

void LListGetText(GtkWidget* list, int row, int column, char* out)
{
  out[0] = '\0';
  GtkTreeIter iter;
  if (!NthRow(list, row, &iter))
    return;
  gchar* text = nullptr;
  gtk_tree_model_get(Model(list), &iter, column, &text, -1);
  if (text != nullptr)
    tlstrcpy(out, text);
  g_free(text);
}

void LListSelect(GtkWidget* list, int row)
{
  GtkTreeIter iter;
  if (!NthRow(list, row, &iter))
    return;
  GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(list));
  gtk_tree_selection_unselect_all(selection);
  gtk_tree_selection_select_iter(selection, &iter);
}

std::vector<int> LListGetSelRows(GtkWidget* list)
{
  std::vector<int> rows;
  if (list == nullptr)
    return rows;
  GList* paths = gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)), nullptr);
  for (GList* p = paths; p != nullptr; p = p->next) {
    auto* path = static_cast<GtkTreePath*>(p->data);
    rows.push_back(gtk_tree_path_get_indices(path)[0]);
    gtk_tree_path_free(path);
  }
  g_list_free(paths);
  return rows;
}

int LListGetSel(GtkWidget* list)
{
  std::vector<int> rows = LListGetSelRows(list);
  return rows.empty() ? -1 : rows.front();
}

void LComboClear(GtkWidget* combo)
{
  if (combo != nullptr)
    gtk_list_store_clear(GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(combo))));
}

bool LComboSelectText(GtkWidget* combo, const char* text)
{
  if (combo == nullptr)
    return false;
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
  GtkTreeIter iter;
  int index = 0;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter), ++index) {
    gchar* entry = nullptr;
    gtk_tree_model_get(model, &iter, 0, &entry, -1);
    bool match = entry != nullptr && tstrcmp(entry, text) == 0;
    g_free(entry);
    if (match) {
      gtk_combo_box_set_active(GTK_COMBO_BOX(combo), index);
      return true;
    }
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), -1);
  return false;
}
