#pragma once
// Driving the settings dialogs under the virtual X display the gui tests
// run on: a fixture that starts GTK and records message boxes, a script of
// steps that act on modal windows as they appear (each step waits for a
// visible top-level window with its title, then acts through GTK's own
// calls), and lookups of controls by id inside a window.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "alsa/testalsa.h"
#include "app/messagebox.h"
#include "gui/window.h"

// The control registered under `id` (LWindow::AddControl) inside `root`.
inline GtkWidget* FindControl(GtkWidget* root, int id)
{
  if (root == nullptr)
    return nullptr;
  if (g_object_get_data(G_OBJECT(root), "velorin-id") == GINT_TO_POINTER(id))
    return root;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(root)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
      found = FindControl(static_cast<GtkWidget*>(c->data), id);
    g_list_free(children);
  }
  return found;
}

inline GtkWidget* FindControl(GtkWindow* window, int id) { return FindControl(GTK_WIDGET(window), id); }

// The visible top-level window titled `title` (a message dialog only when
// `messageBox`), or null.
inline GtkWindow* FindWindow(const std::string& title, bool messageBox = false)
{
  GtkWindow* found = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) {
    GtkWindow* window = GTK_WINDOW(w->data);
    const gchar* t = gtk_window_get_title(window);
    if (t != nullptr && title == t && gtk_widget_get_visible(GTK_WIDGET(window)) &&
        GTK_IS_MESSAGE_DIALOG(window) == messageBox)
      found = window;
  }
  g_list_free(windows);
  return found;
}

inline void Respond(GtkWindow* window, gint response) { gtk_dialog_response(GTK_DIALOG(window), response); }

inline void SetCombo(GtkWindow* window, int id, const char* text)
{
  GtkComboBox* combo = GTK_COMBO_BOX(FindControl(window, id));
  GtkTreeModel* model = gtk_combo_box_get_model(combo);
  GtkTreeIter iter;
  int index = 0;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter), ++index) {
    gchar* entry = nullptr;
    gtk_tree_model_get(model, &iter, 0, &entry, -1);
    bool match = entry != nullptr && std::string(entry) == text;
    g_free(entry);
    if (match) {
      gtk_combo_box_set_active(combo, index);
      return;
    }
  }
  ADD_FAILURE() << "no entry \"" << text << "\" in list " << id;
}

inline std::string ComboText(GtkWindow* window, int id)
{
  gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(FindControl(window, id)));
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

inline std::string EntryText(GtkWindow* window, int id)
{
  return gtk_entry_get_text(GTK_ENTRY(FindControl(window, id)));
}

inline bool IsChecked(GtkWindow* window, int id)
{
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(FindControl(window, id)));
}

inline void Click(GtkWindow* window, int id) { gtk_button_clicked(GTK_BUTTON(FindControl(window, id))); }

// The rows of a list control, each as its cells.
inline std::vector<std::vector<std::string>> ListRows(GtkWindow* window, int id)
{
  GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(FindControl(window, id)));
  std::vector<std::vector<std::string>> rows;
  GtkTreeIter iter;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    std::vector<std::string> row;
    for (int c = 0; c < gtk_tree_model_get_n_columns(model); ++c) {
      gchar* text = nullptr;
      gtk_tree_model_get(model, &iter, c, &text, -1);
      row.emplace_back(text != nullptr ? text : "");
      g_free(text);
    }
    rows.push_back(row);
  }
  return rows;
}

inline void SelectRow(GtkWindow* window, int id, int row)
{
  GtkTreeView* view = GTK_TREE_VIEW(FindControl(window, id));
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(view));
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(view), path);
  gtk_tree_path_free(path);
}

// Steps run in order, each once its window is shown.  A script that is
// still waiting after the deadline cancels every dialog, so that a test
// whose window never came fails instead of hanging.
class LModalScript {
public:
  struct Step {
    std::string title;
    bool messageBox;
    std::function<void(GtkWindow*)> action;
  };

  LModalScript() { source_ = g_timeout_add(20, GSPoll, this); }
  ~LModalScript() { g_source_remove(source_); }
  LModalScript(const LModalScript&) = delete;
  LModalScript& operator=(const LModalScript&) = delete;

  LModalScript& On(const std::string& title, std::function<void(GtkWindow*)> action)
  {
    steps_.push_back({title, false, std::move(action)});
    return *this;
  }
  // A GTK message box (its title is always "Velorin").
  LModalScript& OnBox(std::function<void(GtkWindow*)> action)
  {
    steps_.push_back({"Velorin", true, std::move(action)});
    return *this;
  }
  bool Done() const { return steps_.empty(); }
  std::string Pending() const { return steps_.empty() ? "" : steps_.front().title; }

private:
  static constexpr int kDeadlineTicks = 60 * 50; // 60 s of 20 ms polls

  static gboolean GSPoll(gpointer self)
  {
    static_cast<LModalScript*>(self)->Poll();
    return TRUE;
  }

  void Poll()
  {
    if (steps_.empty())
      return;
    if (++ticks_ > kDeadlineTicks) {
      CancelAll();
      return;
    }
    GtkWindow* window = FindWindow(steps_.front().title, steps_.front().messageBox);
    if (window == nullptr)
      return;
    // The action runs from a source of its own: it may run a nested modal
    // loop (a click that opens a dialog), in which this poll, not being
    // dispatched any more, goes on with the next steps.  A response ends a
    // dialog's loop only after the action returns, so an action answers
    // its window once; what follows the answer is a step of its own.
    auto* pending = new PendingAction{std::move(steps_.front().action), window};
    steps_.pop_front();
    ticks_ = 0;
    g_idle_add_full(G_PRIORITY_DEFAULT, GSRunAction, pending, nullptr);
  }

  struct PendingAction {
    std::function<void(GtkWindow*)> action;
    GtkWindow* window;
  };

  static gboolean GSRunAction(gpointer data)
  {
    auto* pending = static_cast<PendingAction*>(data);
    pending->action(pending->window);
    delete pending;
    return FALSE;
  }

  static void CancelAll()
  {
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next)
      if (GTK_IS_DIALOG(w->data))
        gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_CANCEL);
    g_list_free(windows);
  }

  std::deque<Step> steps_;
  guint source_;
  int ticks_ = 0;
};

// Message boxes recorded instead of shown; the question box answers
// `answerYes`.
class LRecordedBoxes : public LMessageBoxes {
public:
  void Info(LWindow*, const char* primary, const char* secondary) override { Add(primary, secondary); }
  void InfoNoIcon(LWindow*, const char* primary, const char* secondary) override { Add(primary, secondary); }
  bool QueryYes(LWindow*, const char* primary, const char* secondary) override
  {
    Add(primary, secondary);
    return answerYes;
  }
  void Error(LWindow*, const char* text) override { Add(text, ""); }

  std::vector<std::pair<std::string, std::string>> shown;
  bool answerYes = false;

private:
  void Add(const char* primary, const char* secondary) { shown.emplace_back(primary, secondary ? secondary : ""); }
};

// Starts GTK once, records message boxes and gives the test its own
// sound cards.
class LGtkTest : public testing::Test {
protected:
  static void SetUpTestSuite() { gtkReady_ = gtk_init_check(nullptr, nullptr); }
  void SetUp() override
  {
    ASSERT_TRUE(gtkReady_) << "no X display for GTK (the gui tests run under xvfb-run)";
    LSetMessageBoxes(&boxes_);
  }
  void TearDown() override { LSetMessageBoxes(nullptr); }

  // Box texts (primary) in the order shown.
  std::vector<std::string> Shown() const
  {
    std::vector<std::string> texts;
    for (const auto& box : boxes_.shown)
      texts.push_back(box.first);
    return texts;
  }

  LRecordedBoxes boxes_;
  // The pages read card names: test cards only, none until a test adds them.
  LTestAlsaCards cards_;

private:
  static inline bool gtkReady_ = false;
};

// Beside the toolkit's leaks that toolkit.lsan names: the icon names that
// GTK 2's file chooser loads and never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:gtk_icon_info_load_icon\n"; }
