#pragma once
// Driving the settings dialogs on the virtual display: a fixture that
// starts GTK, records message boxes and gives the test its own sound
// cards; a script of steps that act on modal windows as they appear; and
// lookups of controls inside a window.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "alsa/testalsa.h"
#include "app/messagebox.h"

// The first widget inside `root` (itself included) that `match` accepts.
inline GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match)
{
  if (match(root))
    return root;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(root)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
      found = FindWidget(static_cast<GtkWidget*>(c->data), match);
    g_list_free(children);
  }
  return found;
}

// The control registered under `id` (LWindow::AddControl).
inline GtkWidget* FindControl(GtkWindow* window, int id)
{
  return FindWidget(GTK_WIDGET(window), [id](GtkWidget* w) {
    return g_object_get_data(G_OBJECT(w), "velorin-id") == GINT_TO_POINTER(id);
  });
}

inline void Respond(GtkWindow* window, gint response) { gtk_dialog_response(GTK_DIALOG(window), response); }
inline void Click(GtkWindow* window, int id) { gtk_button_clicked(GTK_BUTTON(FindControl(window, id))); }
inline void SetText(GtkWindow* window, int id, const char* text)
{
  gtk_entry_set_text(GTK_ENTRY(FindControl(window, id)), text);
}
inline std::string EntryText(GtkWindow* window, int id) { return gtk_entry_get_text(GTK_ENTRY(FindControl(window, id))); }
inline bool IsChecked(GtkWindow* window, int id)
{
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(FindControl(window, id)));
}

// The rows of a list control (a tree view), or of a pull-down list's
// entries, each as its text cells.
inline std::vector<std::vector<std::string>> ModelRows(GtkTreeModel* model)
{
  std::vector<std::vector<std::string>> rows;
  GtkTreeIter iter;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
    rows.emplace_back();
    for (int c = 0; c < gtk_tree_model_get_n_columns(model); ++c) {
      gchar* text = nullptr;
      gtk_tree_model_get(model, &iter, c, &text, -1);
      rows.back().emplace_back(text != nullptr ? text : "");
      g_free(text);
    }
  }
  return rows;
}

inline std::vector<std::vector<std::string>> ListRows(GtkWindow* window, int id)
{
  return ModelRows(gtk_tree_view_get_model(GTK_TREE_VIEW(FindControl(window, id))));
}

inline void SelectRow(GtkWindow* window, int id, int row)
{
  GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(FindControl(window, id)));
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_selection_unselect_all(selection);
  gtk_tree_selection_select_path(selection, path);
  gtk_tree_path_free(path);
}

inline void SetCombo(GtkWindow* window, int id, const std::string& text)
{
  GtkComboBox* combo = GTK_COMBO_BOX(FindControl(window, id));
  auto rows = ModelRows(gtk_combo_box_get_model(combo));
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i][0] == text)
      return gtk_combo_box_set_active(combo, static_cast<gint>(i));
  ADD_FAILURE() << "no entry \"" << text << "\" in list " << id;
}

inline std::string ComboText(GtkWindow* window, int id)
{
  gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(FindControl(window, id)));
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

// Steps run in order, each once a visible top-level window with its title
// (a GTK message box, titled "Velorin", for OnBox) is shown.  A script
// still waiting after 60 s cancels every dialog, so that a test whose
// window never came fails instead of hanging.
class LModalScript {
public:
  using Action = std::function<void(GtkWindow*)>;

  LModalScript() { poll_ = g_timeout_add(20, GSPoll, this); }
  ~LModalScript()
  {
    g_source_remove(poll_);
    if (scheduled_)
      g_source_remove(run_);
  }
  LModalScript(const LModalScript&) = delete;
  LModalScript& operator=(const LModalScript&) = delete;

  LModalScript& On(const std::string& title, Action action) { return Add(title, false, std::move(action)); }
  LModalScript& OnBox(Action action) { return Add("Velorin", true, std::move(action)); }
  std::string Pending() const { return steps_.empty() ? "" : steps_.front().title; }

private:
  struct Step {
    std::string title;
    bool box;
    Action action;
    GtkWindow* window = nullptr;
  };

  LModalScript& Add(const std::string& title, bool box, Action action)
  {
    steps_.push_back({title, box, std::move(action)});
    return *this;
  }

  static GtkWindow* Visible(const Step& step)
  {
    GtkWindow* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next) {
      const gchar* title = gtk_window_get_title(GTK_WINDOW(w->data));
      if (title != nullptr && step.title == title && gtk_widget_get_visible(GTK_WIDGET(w->data)) &&
          GTK_IS_MESSAGE_DIALOG(w->data) == step.box)
        found = GTK_WINDOW(w->data);
    }
    g_list_free(windows);
    return found;
  }

  static gboolean GSPoll(gpointer self)
  {
    auto* script = static_cast<LModalScript*>(self);
    // One action at a time may wait to start: the window it answers is
    // still shown until then, and would be taken for the next step's.
    if (script->steps_.empty() || script->scheduled_)
      return TRUE;
    if (++script->ticks_ > 3000) {
      GList* windows = gtk_window_list_toplevels();
      for (GList* w = windows; w != nullptr; w = w->next)
        if (GTK_IS_DIALOG(w->data))
          gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_CANCEL);
      g_list_free(windows);
      return TRUE;
    }
    GtkWindow* window = Visible(script->steps_.front());
    if (window == nullptr)
      return TRUE;
    // The action runs from a source of its own: it may run a nested modal
    // loop (a click that opens a dialog), in which this poll, no longer
    // being dispatched, goes on with the next steps.  A response ends a
    // dialog's loop only once the action returns, so an action answers its
    // window once; what follows the answer is a step of its own.
    script->running_ = std::move(script->steps_.front());
    script->running_.window = window;
    script->steps_.pop_front();
    script->ticks_ = 0;
    script->scheduled_ = true;
    script->run_ = g_idle_add_full(G_PRIORITY_DEFAULT, GSRun, script, nullptr);
    return TRUE;
  }

  static gboolean GSRun(gpointer self)
  {
    auto* script = static_cast<LModalScript*>(self);
    Step step = std::move(script->running_);
    script->scheduled_ = false;
    step.action(step.window);
    return FALSE;
  }

  std::deque<Step> steps_;
  Step running_;
  bool scheduled_ = false;
  guint run_ = 0;
  guint poll_;
  int ticks_ = 0;
};

// Message boxes recorded (their primary text) instead of shown.
class LRecordedBoxes : public LMessageBoxes {
public:
  void Info(LWindow*, const char* primary, const char*) override { shown.emplace_back(primary); }
  void InfoNoIcon(LWindow*, const char* primary, const char*) override { shown.emplace_back(primary); }
  bool QueryYes(LWindow*, const char* primary, const char*) override
  {
    shown.emplace_back(primary);
    return false;
  }
  void Error(LWindow*, const char* text) override { shown.emplace_back(text); }

  std::vector<std::string> shown;
};

class LGtkTest : public testing::Test {
protected:
  static void SetUpTestSuite() { gtkReady_ = gtk_init_check(nullptr, nullptr); }
  void SetUp() override
  {
    ASSERT_TRUE(gtkReady_) << "no X display for GTK (the gui tests run under xvfb-run)";
    LSetMessageBoxes(&boxes_);
  }
  void TearDown() override { LSetMessageBoxes(nullptr); }
  const std::vector<std::string>& Shown() const { return boxes_.shown; }

  LRecordedBoxes boxes_;
  // The pages read card names: test cards only, none until a test adds them.
  LTestAlsaCards cards_;

private:
  static inline bool gtkReady_ = false;
};

