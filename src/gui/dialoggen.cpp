#include "gui/dialoggen.h"

namespace {

constexpr int kIndent = 24;
constexpr int kSpacing = 6;

constexpr const char* kCommandKey = "velorin-command";

void GSComboChanged(GtkWidget* widget, gpointer window)
{
  static_cast<LWindow*>(window)->Command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "velorin-id")));
}

void GSSelectionChanged(GtkTreeSelection* selection, gpointer window)
{
  static_cast<LWindow*>(window)->Command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(selection), kCommandKey)));
}

GtkWidget* Indented(GtkWidget* widget, bool indent)
{
  if (!indent)
    return widget;
  GtkWidget* align = gtk_alignment_new(0, 0, 1, 1);
  gtk_alignment_set_padding(GTK_ALIGNMENT(align), 0, 0, kIndent, 0);
  gtk_container_add(GTK_CONTAINER(align), widget);
  return align;
}

}  // namespace

LDialogGenContext::LDialogGenContext(GtkWidget* box, LWindow& window) : window_(window)
{
  stack_.push_back(box);
}

void LDialogGenContext::Pack(GtkWidget* widget, bool expand)
{
  gtk_box_pack_start(GTK_BOX(Current()), widget, expand, expand, 0);
}

void LDialogGenContext::BeginGroup(const char* title)
{
  GtkWidget* frame = gtk_frame_new(title);
  GtkWidget* box = gtk_vbox_new(FALSE, kSpacing);
  gtk_container_set_border_width(GTK_CONTAINER(box), kSpacing);
  gtk_container_add(GTK_CONTAINER(frame), box);
  Pack(frame, true);
  stack_.push_back(box);
}

void LDialogGenContext::EndGroup()
{
  if (stack_.size() > 1)
    stack_.pop_back();
}

void LDialogGenContext::AddStatic(const char* text)
{
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_misc_set_alignment(GTK_MISC(label), 0, 0);
  gtk_widget_set_size_request(label, 380, -1);
  Pack(label);
}

void LDialogGenContext::AddCheck(int id, const char* label)
{
  Pack(window_.AddControl(id, gtk_check_button_new_with_label(label)));
}

void LDialogGenContext::AddRadio(int id, const char* label, int firstId)
{
  GtkWidget* first = firstId != 0 ? window_.GetControl(firstId) : nullptr;
  GtkWidget* radio = first != nullptr ? gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(first), label)
                                      : gtk_radio_button_new_with_label(nullptr, label);
  Pack(window_.AddControl(id, radio));
}

void LDialogGenContext::PackLabelled(const char* label, GtkWidget* widget, bool indent)
{
  if (label == nullptr) {
    Pack(Indented(widget, indent));
    return;
  }
  GtkWidget* row = gtk_hbox_new(FALSE, kSpacing);
  GtkWidget* text = gtk_label_new(label);
  gtk_misc_set_alignment(GTK_MISC(text), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(row), text, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), widget, TRUE, TRUE, 0);
  Pack(Indented(row, indent));
}

void LDialogGenContext::AddEntry(int id, const char* label, bool indent)
{
  GtkWidget* entry = window_.AddControl(id, gtk_entry_new());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  PackLabelled(label, entry, indent);
}

void LDialogGenContext::AddEntryBrowse(int id, const char* label, int buttonId, const char* buttonLabel, bool indent)
{
  GtkWidget* row = gtk_hbox_new(FALSE, kSpacing);
  gtk_box_pack_start(GTK_BOX(row), window_.AddControl(id, gtk_entry_new()), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(row), window_.AddControl(buttonId, gtk_button_new_with_label(buttonLabel)), FALSE, FALSE,
                     0);
  PackLabelled(label, row, indent);
}

void LDialogGenContext::AddSpin(int id, const char* label)
{
  GtkWidget* spin = window_.AddControl(id, gtk_spin_button_new_with_range(0, 1, 1));
  gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
  PackLabelled(label, spin, false);
}

void LDialogGenContext::AddCombo(int id, const char* label, bool indent)
{
  // A text combo box, which LWindow's list accessors fill and read.
  GtkWidget* combo = window_.AddControl(id, gtk_combo_box_new_text());
  g_signal_connect(combo, "changed", G_CALLBACK(GSComboChanged), &window_);
  PackLabelled(label, combo, indent);
}

void LDialogGenContext::AddLink(const char* label, const char* uri)
{
  GtkWidget* link = gtk_link_button_new_with_label(uri, label);
  gtk_button_set_alignment(GTK_BUTTON(link), 0, 0.5);
  Pack(link);
}

void LDialogGenContext::AddList(int id, const std::vector<std::pair<const char*, int>>& columns, int selectionCommand,
                                bool multiple)
{
  std::vector<GType> types(columns.size(), G_TYPE_STRING);
  GtkListStore* store = gtk_list_store_newv(static_cast<gint>(types.size()), types.data());
  GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes(columns[c].first, gtk_cell_renderer_text_new(),
                                                                         "text", static_cast<gint>(c), nullptr);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, columns[c].second);
    gtk_tree_view_column_set_resizable(column, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
  }
  GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(view));
  gtk_tree_selection_set_mode(selection, multiple ? GTK_SELECTION_MULTIPLE : GTK_SELECTION_SINGLE);
  g_object_set_data(G_OBJECT(selection), kCommandKey, GINT_TO_POINTER(selectionCommand));
  g_signal_connect(selection, "changed", G_CALLBACK(GSSelectionChanged), &window_);
  window_.AddControl(id, view);
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
  gtk_widget_set_size_request(scroll, -1, 140);
  gtk_container_add(GTK_CONTAINER(scroll), view);
  Pack(scroll, true);
}

void LDialogGenContext::AddButtons(const std::vector<std::pair<int, const char*>>& buttons)
{
  GtkWidget* row = gtk_hbox_new(TRUE, kSpacing);
  for (const auto& [id, label] : buttons)
    gtk_box_pack_start(GTK_BOX(row), window_.AddControl(id, gtk_button_new_with_label(label)), TRUE, TRUE, 0);
  Pack(row);
}
