#pragma once
// Answers the dialogs a test provokes, from a main loop timer, and records
// what message boxes showed.

#include <gtk/gtk.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

// What a box showed, seen from a main loop timer while the box runs.
struct SeenBox {
  std::string title;
  std::string heading;
  std::string body;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  bool iconShown = false;
  std::vector<std::string> buttons;
};

// Answers each visible dialog of `type` in turn with the next response
// (the last one repeated), the first once `ready` says so.  Other dialogs
// wait while a message box is open over them.
class DialogAnswerer {
public:
  using Ready = std::function<bool(GtkWidget*)>;
  explicit DialogAnswerer(std::vector<gint> responses, GType type = GTK_TYPE_MESSAGE_DIALOG, Ready ready = {})
      : responses_(std::move(responses)), type_(type), ready_(std::move(ready))
  {
    timer_ = g_timeout_add(20, &Tick, this);
  }
  ~DialogAnswerer() { g_source_remove(timer_); }
  const SeenBox& Seen() const { return seen_; }
  int Count() const { return count_; }

private:
  static bool Visible(gpointer w, GType type)
  {
    return G_TYPE_CHECK_INSTANCE_TYPE(w, type) && gtk_widget_get_visible(GTK_WIDGET(w));
  }

  static gboolean Tick(gpointer self)
  {
    auto* a = static_cast<DialogAnswerer*>(self);
    GList* windows = gtk_window_list_toplevels();
    bool boxOpen = false;
    for (GList* w = windows; w != nullptr; w = w->next)
      boxOpen = boxOpen || Visible(w->data, GTK_TYPE_MESSAGE_DIALOG);
    for (GList* w = windows; w != nullptr; w = w->next) {
      if (!Visible(w->data, a->type_) || (boxOpen && a->type_ != GTK_TYPE_MESSAGE_DIALOG) ||
          (a->count_ == 0 && a->ready_ && !a->ready_(GTK_WIDGET(w->data))))
        continue;
      if (GTK_IS_MESSAGE_DIALOG(w->data))
        a->Record(GTK_MESSAGE_DIALOG(w->data));
      gtk_dialog_response(GTK_DIALOG(w->data), a->responses_[std::min<size_t>(a->count_, a->responses_.size() - 1)]);
      ++a->count_;
      break;
    }
    g_list_free(windows);
    return TRUE;
  }

  void Record(GtkMessageDialog* box)
  {
    SeenBox& seen = seen_;
    gchar* text = nullptr;
    gchar* secondary = nullptr;
    g_object_get(box, "text", &text, "secondary-text", &secondary, "message-type", &seen.type, nullptr);
    seen.title = gtk_window_get_title(GTK_WINDOW(box));
    seen.heading = text != nullptr ? text : "";
    seen.body = secondary != nullptr ? secondary : "";
    g_free(text);
    g_free(secondary);
    GtkWidget* image = gtk_message_dialog_get_image(box);
    seen.iconShown = image != nullptr && gtk_image_get_storage_type(GTK_IMAGE(image)) != GTK_IMAGE_EMPTY;
    seen.buttons.clear();
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(box)->action_area));
    for (GList* b = buttons; b != nullptr; b = b->next)
      seen.buttons.push_back(gtk_button_get_label(GTK_BUTTON(b->data)));
    g_list_free(buttons);
  }

  std::vector<gint> responses_;
  GType type_;
  Ready ready_;
  guint timer_ = 0;
  SeenBox seen_;
  int count_ = 0;
};
