#include "gui/window.h"

#include "app/messagebox.h"
#include "base/stringtools.h"
#include "gui/notifybubble.h"

#include <cstdio>
#include <cstdlib>

GtkWidget* LWindow::AddControl(int id, GtkWidget* widget)
{
  controls_[id] = widget;
  g_object_set_data(G_OBJECT(widget), "velorin-id", GINT_TO_POINTER(id));
  if (GTK_IS_TOGGLE_BUTTON(widget))
    g_signal_connect(widget, "toggled", G_CALLBACK(GSToggled), this);
  else if (GTK_IS_BUTTON(widget))
    g_signal_connect(widget, "clicked", G_CALLBACK(GSClicked), this);
  return widget;
}

GtkWidget* LWindow::GetControl(int id) const
{
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void LWindow::GSClicked(GtkWidget* widget, gpointer self)
{
  static_cast<LWindow*>(self)->Command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "velorin-id")));
}

void LWindow::GSToggled(GtkWidget* widget, gpointer self)
{
  auto* window = static_cast<LWindow*>(self);
  window->EnableControls();
  window->Command(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "velorin-id")));
}

void LWindow::GetControlText(int id, char* out, std::size_t size) const
{
  if (size == 0)
    return;
  out[0] = '\0';
  GtkWidget* w = GetControl(id);
  if (w == nullptr)
    return;
  if (GTK_IS_SPIN_BUTTON(w)) {
    std::snprintf(out, size, "%d", gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(w)));
  } else if (GTK_IS_ENTRY(w)) {
    tstrlcpy(out, gtk_entry_get_text(GTK_ENTRY(w)), size);
  } else if (GTK_IS_LABEL(w)) {
    tstrlcpy(out, gtk_label_get_text(GTK_LABEL(w)), size);
  } else if (GTK_IS_COMBO_BOX(w)) {
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(w));
    if (text != nullptr) {
      tstrlcpy(out, text, size);
      g_free(text);
    }
  } else if (GTK_IS_BUTTON(w)) {
    const gchar* label = gtk_button_get_label(GTK_BUTTON(w));
    tstrlcpy(out, label != nullptr ? label : "", size);
  }
}

void LWindow::SetControlText(int id, const char* text)
{
  GtkWidget* w = GetControl(id);
  if (w == nullptr)
    return;
  if (GTK_IS_SPIN_BUTTON(w))
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(w), std::atoi(text));
  else if (GTK_IS_ENTRY(w))
    gtk_entry_set_text(GTK_ENTRY(w), text);
  else if (GTK_IS_LABEL(w))
    gtk_label_set_text(GTK_LABEL(w), text);
  else if (GTK_IS_BUTTON(w))
    gtk_button_set_label(GTK_BUTTON(w), text);
}

int LWindow::GetControlInt(int id) const
{
  GtkWidget* w = GetControl(id);
  if (w == nullptr)
    return 0;
  if (GTK_IS_SPIN_BUTTON(w))
    return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(w));
  if (GTK_IS_COMBO_BOX(w))
    return gtk_combo_box_get_active(GTK_COMBO_BOX(w));
  char text[32];
  GetControlText(id, text, sizeof text);
  return std::atoi(text);
}

void LWindow::SetControlInt(int id, int value)
{
  GtkWidget* w = GetControl(id);
  if (w == nullptr)
    return;
  if (GTK_IS_SPIN_BUTTON(w)) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(w), value);
  } else if (GTK_IS_COMBO_BOX(w)) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(w), value);
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    SetControlText(id, text);
  }
}

void LWindow::SetControlRange(int id, int low, int high)
{
  GtkWidget* w = GetControl(id);
  if (w != nullptr && GTK_IS_SPIN_BUTTON(w)) {
    gtk_spin_button_set_range(GTK_SPIN_BUTTON(w), low, high);
    gtk_spin_button_set_increments(GTK_SPIN_BUTTON(w), 1, 10);
  }
}

bool LWindow::GetControlCheck(int id) const
{
  GtkWidget* w = GetControl(id);
  return w != nullptr && GTK_IS_TOGGLE_BUTTON(w) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
}

void LWindow::SetControlCheck(int id, bool on)
{
  GtkWidget* w = GetControl(id);
  if (w != nullptr && GTK_IS_TOGGLE_BUTTON(w))
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), on);
}

void LWindow::EnableControl(int id, bool enable)
{
  GtkWidget* w = GetControl(id);
  if (w != nullptr)
    gtk_widget_set_sensitive(w, enable);
}

void LWindow::AddControlListItem(int id, const char* text)
{
  GtkWidget* w = GetControl(id);
  if (w != nullptr && GTK_IS_COMBO_BOX(w))
    gtk_combo_box_append_text(GTK_COMBO_BOX(w), text);
}

void LWindow::PopupControlDataInvalid(int id, const char* text, const char* title)
{
  if (!LShowNotifyBubble(GetControl(id), title, text))
    PopupBoxInfoNoIcon(this, text, title);
}
