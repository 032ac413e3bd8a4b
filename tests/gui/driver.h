#pragma once
// Driving the desktop's dialogs in process on the virtual display.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "alsa/testalsa.h"
#include "app/messagebox.h"
#include "gui/messagebox.h"

using Texts = std::vector<std::string>;
using Rows = std::vector<Texts>;

// The first widget under `root` (itself and internal children included) `match` accepts.
inline GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match)
{
  if (match(root))
    return root;
  std::pair<const std::function<bool(GtkWidget*)>*, GtkWidget*> search{&match, nullptr};
  if (GTK_IS_CONTAINER(root))
    gtk_container_forall(
        GTK_CONTAINER(root),
        [](GtkWidget* w, gpointer data) {
          auto* s = static_cast<decltype(search)*>(data);
          s->second = s->second != nullptr ? s->second : FindWidget(w, *s->first);
        },
        &search);
  return search.second;
}

// The first drawable widget of `type` with the label `label` (any when null).
inline GtkWidget* FindShown(GtkWindow* root, GType type, const char* label = nullptr)
{
  return FindWidget(GTK_WIDGET(root), [&](GtkWidget* w) {
    return G_TYPE_CHECK_INSTANCE_TYPE(w, type) && gtk_widget_is_drawable(w) &&
           (label == nullptr || (GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)) == std::string(label)));
  });
}

// The rows of a list control or a pull-down list, each as its text cells.
inline Rows ModelRows(GtkTreeModel* model)
{
  Rows rows;
  GtkTreeIter it;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &it); more; more = gtk_tree_model_iter_next(model, &it)) {
    rows.emplace_back();
    for (int c = 0; c < gtk_tree_model_get_n_columns(model); ++c) {
      gchar* text = nullptr;
      gtk_tree_model_get(model, &it, c, &text, -1);
      rows.back().emplace_back(text != nullptr ? text : "");
      g_free(text);
    }
  }
  return rows;
}

// Steps run in order once their window shows (by title, "" any dialog, kBox a box), retried
// until true.  Boxes are recorded, answered OK unless awaited.  After 60 s all is cancelled.
class LScript {
public:
  using Action = std::function<bool(GtkWindow*)>;
  static inline const std::string kBox = "\a";

  LScript() : poll_(g_timeout_add(20, GSPoll, this)) {}
  ~LScript() { g_source_remove(poll_), run_ != 0 && g_source_remove(run_); }
  LScript(const LScript&) = delete;
  LScript& operator=(const LScript&) = delete;

  LScript& On(const std::string& title, Action action) { return steps_.push_back({title, action}), *this; }
  // Acts on the window, then gives it `response`.
  LScript& Then(
      const std::string& title, gint response, std::function<void(GtkWindow*)> act = [](GtkWindow*) {})
  {
    return On(title, [act, response](GtkWindow* w) { return act(w), Reply(w, response), true; });
  }
  LScript& Answer(gint response) { return Then(kBox, response); }
  std::string Pending() const { return steps_.empty() ? "" : steps_.front().first; }

  Texts boxes;   // "title|heading|body|icon|buttons"
  Texts titles;  // the dialogs' titles, as they changed

private:
  using Step = std::pair<std::string, Action>;

  static void Reply(GtkWindow* window, gint response)
  {
    gtk_dialog_response(GTK_DIALOG(window), response);
    if (GTK_IS_MESSAGE_DIALOG(window))
      gtk_widget_hide(GTK_WIDGET(window));  // not seen again before its loop ends
  }

  void Record(GtkWindow* box)
  {
    gchar *text = nullptr, *secondary = nullptr, *icon = nullptr;
    g_object_get(box, "text", &text, "secondary-text", &secondary, nullptr);
    GtkImage* image = GTK_IMAGE(gtk_message_dialog_get_image(GTK_MESSAGE_DIALOG(box)));
    if (gtk_image_get_storage_type(image) == GTK_IMAGE_STOCK)
      gtk_image_get_stock(image, &icon, nullptr);
    std::string seen = std::string(gtk_window_get_title(box)) + "|" + (text ? text : "") + "|" +
                       (secondary ? secondary : "") + "|" + (icon ? icon : "") + "|";
    g_free(text), g_free(secondary);
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(box)->action_area));
    for (GList* b = buttons; b != nullptr; b = b->next)
      seen += std::string(b == buttons ? "" : " ") + gtk_button_get_label(GTK_BUTTON(b->data));
    g_list_free(buttons);
    boxes.push_back(seen);
  }

  static gboolean GSPoll(gpointer self) { return static_cast<LScript*>(self)->Poll(), TRUE; }

  void Poll()
  {
    if (run_ != 0)  // one action at a time: its window is shown until it ran
      return;
    const bool stuck = !steps_.empty() && ++ticks_ > 3000;
    const std::string wanted = steps_.empty() ? "" : steps_.front().first;
    GtkWindow *box = nullptr, *window = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next) {
      GtkWindow* top = GTK_WINDOW(w->data);
      const gchar* title = gtk_window_get_title(top);
      const bool dialog = GTK_IS_DIALOG(top);
      if (!gtk_widget_get_visible(GTK_WIDGET(top)) || (GTK_IS_MESSAGE_DIALOG(top) && (box = top)))
        continue;
      if (dialog && stuck)
        gtk_dialog_response(GTK_DIALOG(top), GTK_RESPONSE_CANCEL);
      if (dialog && title != nullptr && (titles.empty() || titles.back() != title))
        titles.emplace_back(title);
      if (title != nullptr && !steps_.empty() && (wanted.empty() ? dialog : wanted == title))
        window = top;
    }
    g_list_free(windows);
    if (box != nullptr)
      Record(box);
    if (box != nullptr && wanted != kBox)
      return Reply(box, GTK_RESPONSE_OK);
    if ((window = box != nullptr ? box : window) == nullptr)
      return;
    // Run from a source of its own: a nested modal loop in the action keeps polling.
    running_ = {std::move(steps_.front()), window};
    steps_.pop_front();
    run_ = g_idle_add_full(G_PRIORITY_DEFAULT, GSRun, this, nullptr);
  }

  static gboolean GSRun(gpointer self)
  {
    auto* s = static_cast<LScript*>(self);
    auto [step, window] = std::move(s->running_);
    s->run_ = 0;
    step.second(window) ? void(s->ticks_ = 0) : s->steps_.push_front(std::move(step));
    return FALSE;
  }

  std::deque<Step> steps_;
  std::pair<Step, GtkWindow*> running_;
  guint poll_;
  guint run_ = 0;
  int ticks_ = 0;
};

// The toolkit with its real message boxes, test sound cards only; controls by their id.
class LGtkTest : public testing::Test {
protected:
  static void SetUpTestSuite()
  {
    if ((gtkReady_ = gtk_init_check(nullptr, nullptr)))
      LInstallGtkMessageBoxes();
  }
  void SetUp() override { ASSERT_TRUE(gtkReady_) << "no X display (the gui tests run under xvfb-run)"; }

  static GtkWidget* Ctl(GtkWindow* w, int id)
  {
    return FindWidget(GTK_WIDGET(w), [id](GtkWidget* c) {
      return g_object_get_data(G_OBJECT(c), "velorin-id") == GINT_TO_POINTER(id);
    });
  }
  static void Click(GtkWindow* w, int id) { gtk_button_clicked(GTK_BUTTON(Ctl(w, id))); }
  static void SetText(GtkWindow* w, int id, const char* text) { gtk_entry_set_text(GTK_ENTRY(Ctl(w, id)), text); }
  static std::string EntryText(GtkWindow* w, int id) { return gtk_entry_get_text(GTK_ENTRY(Ctl(w, id))); }
  static bool IsChecked(GtkWindow* w, int id) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Ctl(w, id))); }
  static bool Sensitive(GtkWindow* w, int id) { return gtk_widget_get_sensitive(Ctl(w, id)); }
  static Rows ListRows(GtkWindow* w, int id) { return ModelRows(gtk_tree_view_get_model(GTK_TREE_VIEW(Ctl(w, id)))); }
  static std::string ComboText(GtkWindow* w, int id)
  {
    GtkComboBox* combo = GTK_COMBO_BOX(Ctl(w, id));
    const int active = gtk_combo_box_get_active(combo);
    return active < 0 ? "" : ModelRows(gtk_combo_box_get_model(combo))[active][0];
  }
  static void SetCombo(GtkWindow* w, int id, const std::string& text)
  {
    GtkComboBox* combo = GTK_COMBO_BOX(Ctl(w, id));
    auto rows = ModelRows(gtk_combo_box_get_model(combo));
    auto at = std::find_if(rows.begin(), rows.end(), [&](const Texts& row) { return row[0] == text; });
    ASSERT_NE(at, rows.end()) << "no entry \"" << text << "\" in list " << id;
    gtk_combo_box_set_active(combo, static_cast<gint>(at - rows.begin()));
  }

  // A wizard's button by its response, a choice by its label; false when not (yet) offered.
  static bool Press(GtkWindow* wizard, int response)
  {
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(wizard), response);
    return button != nullptr && gtk_widget_is_sensitive(button) && (gtk_button_clicked(GTK_BUTTON(button)), true);
  }
  static bool Choose(GtkWindow* wizard, const char* label)
  {
    GtkWidget* radio = FindShown(wizard, GTK_TYPE_TOGGLE_BUTTON, label);
    return radio != nullptr && (gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radio), TRUE), true);
  }

  LTestAlsaCards cards_;

private:
  static inline bool gtkReady_ = false;
};
