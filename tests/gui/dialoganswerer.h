#pragma once
// Answers the message boxes a test provokes, from a main loop timer, and
// records what they showed.

#include <gtk/gtk.h>

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

// Answers the next visible message dialog with `response` and records it.
class BoxAnswerer {
public:
  explicit BoxAnswerer(gint response) : response_(response) { timer_ = g_timeout_add(20, &Tick, this); }
  ~BoxAnswerer() { g_source_remove(timer_); }
  const SeenBox& Seen() const { return seen_; }
  int Count() const { return count_; }

private:
  static gboolean Tick(gpointer self)
  {
    auto* a = static_cast<BoxAnswerer*>(self);
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next) {
      if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data)))
        continue;
      GtkMessageDialog* box = GTK_MESSAGE_DIALOG(w->data);
      gchar* text = nullptr;
      gchar* secondary = nullptr;
      g_object_get(box, "text", &text, "secondary-text", &secondary, "message-type", &a->seen_.type, nullptr);
      a->seen_.title = gtk_window_get_title(GTK_WINDOW(box));
      a->seen_.heading = text != nullptr ? text : "";
      a->seen_.body = secondary != nullptr ? secondary : "";
      g_free(text);
      g_free(secondary);
      GtkWidget* image = gtk_message_dialog_get_image(box);
      a->seen_.iconShown = image != nullptr && gtk_image_get_storage_type(GTK_IMAGE(image)) != GTK_IMAGE_EMPTY;
      a->seen_.buttons.clear();
      GList* buttons = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(box)->action_area));
      for (GList* b = buttons; b != nullptr; b = b->next)
        a->seen_.buttons.push_back(gtk_button_get_label(GTK_BUTTON(b->data)));
      g_list_free(buttons);
      ++a->count_;
      gtk_dialog_response(GTK_DIALOG(box), a->response_);
      break;
    }
    g_list_free(windows);
    return TRUE;
  }

  gint response_;
  guint timer_ = 0;
  SeenBox seen_;
  int count_ = 0;
};
