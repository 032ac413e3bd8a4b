#pragma once
// Drives a wizard the way a user would, from a GLib timer running inside
// the wizard's own loop: it finds the wizard window, sets controls by their
// labels, presses its buttons (only when they are enabled) and closes every
// message box, noting its text.  A driver that gets stuck destroys the
// wizard after a generous deadline, so a test fails instead of hanging.

#include <gtk/gtk.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace wizardtest {

inline void ForAll(GtkWidget* root, const std::function<void(GtkWidget*)>& visit)
{
  visit(root);
  if (GTK_IS_CONTAINER(root)) {
    GList* children = nullptr;
    gtk_container_forall(
        GTK_CONTAINER(root), [](GtkWidget* w, gpointer list) { *static_cast<GList**>(list) = g_list_append(*static_cast<GList**>(list), w); },
        &children);
    for (GList* c = children; c != nullptr; c = c->next)
      ForAll(GTK_WIDGET(c->data), visit);
    g_list_free(children);
  }
}

// The first widget on screen of the type that passes the test.
inline GtkWidget* Find(GtkWidget* root, GType type, const std::function<bool(GtkWidget*)>& test = {})
{
  GtkWidget* found = nullptr;
  ForAll(root, [&](GtkWidget* w) {
    if (found == nullptr && G_TYPE_CHECK_INSTANCE_TYPE(w, type) && gtk_widget_is_drawable(w) && (!test || test(w)))
      found = w;
  });
  return found;
}

inline bool Press(GtkWidget* wizard, int response)
{
  GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(wizard), response);
  if (button == nullptr || !gtk_widget_is_sensitive(button))
    return false;
  gtk_button_clicked(GTK_BUTTON(button));
  return true;
}

inline bool Choose(GtkWidget* wizard, const char* label)
{
  GtkWidget* radio = Find(wizard, GTK_TYPE_TOGGLE_BUTTON, [&](GtkWidget* w) {
    const char* text = gtk_button_get_label(GTK_BUTTON(w));
    return text != nullptr && std::strcmp(text, label) == 0;
  });
  if (radio != nullptr)
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radio), TRUE);
  return radio != nullptr;
}

inline bool SelectItem(GtkWidget* wizard, int index)
{
  GtkWidget* combo = Find(wizard, GTK_TYPE_COMBO_BOX);
  if (combo != nullptr)
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), index);
  return combo != nullptr;
}

inline bool Type(GtkWidget* wizard, const char* text)
{
  GtkWidget* entry = Find(wizard, GTK_TYPE_ENTRY);
  if (entry != nullptr)
    gtk_entry_set_text(GTK_ENTRY(entry), text);
  return entry != nullptr;
}

class Driver {
public:
  // A step returns true when it is done; it is retried on every tick until
  // then.
  using Step = std::function<bool(GtkWidget* wizard)>;

  explicit Driver(std::vector<Step> steps) : steps_(std::move(steps)), start_(std::chrono::steady_clock::now())
  {
    timer_ = g_timeout_add(20, &Tick, this);
  }
  ~Driver() { g_source_remove(timer_); }
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  std::vector<std::string> titles;   // the wizard's titles, as they changed
  std::vector<std::string> messages; // every message box's texts, "primary\nsecondary"
  std::vector<double> progress;      // every progress bar fraction seen
  bool Finished() const { return next_ == steps_.size(); }

private:
  static gboolean Tick(gpointer self)
  {
    static_cast<Driver*>(self)->OnTick();
    return TRUE;
  }

  void OnTick()
  {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* wizard = nullptr;
    for (GList* w = windows; w != nullptr; w = w->next) {
      GtkWidget* window = GTK_WIDGET(w->data);
      if (!gtk_widget_get_visible(window))
        continue;
      if (GTK_IS_MESSAGE_DIALOG(window)) {
        gchar* text = nullptr;
        gchar* secondary = nullptr;
        g_object_get(window, "text", &text, "secondary-text", &secondary, nullptr);
        messages.push_back(std::string(text != nullptr ? text : "") + "\n" + (secondary != nullptr ? secondary : ""));
        g_free(text);
        g_free(secondary);
        gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_OK);
      } else if (GTK_IS_DIALOG(window)) {
        wizard = window;
      }
    }
    g_list_free(windows);
    if (wizard == nullptr)
      return;
    const char* title = gtk_window_get_title(GTK_WINDOW(wizard));
    if (title != nullptr && (titles.empty() || titles.back() != title))
      titles.emplace_back(title);
    ForAll(wizard, [&](GtkWidget* w) {
      if (GTK_IS_PROGRESS_BAR(w))
        progress.push_back(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(w)));
    });
    if (std::chrono::steady_clock::now() - start_ > std::chrono::seconds(90)) {
      gtk_widget_destroy(wizard);
      return;
    }
    if (next_ < steps_.size() && steps_[next_](wizard))
      ++next_;
  }

  std::vector<Step> steps_;
  size_t next_ = 0;
  guint timer_ = 0;
  std::chrono::steady_clock::time_point start_;
};

} // namespace wizardtest
