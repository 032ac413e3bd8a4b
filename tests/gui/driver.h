#pragma once
// Driving the desktop's dialogs in process on the virtual display: controls,
// a script of steps acting on windows as they appear, and a fixture.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "alsa/testalsa.h"
#include "app/messagebox.h"

// The first widget in `root` (itself and internal children included) that `match` accepts.
inline GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match)
{
  if (match(root))
    return root;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(root)) {
    GList* children = nullptr;
    gtk_container_forall(
        GTK_CONTAINER(root),
        [](GtkWidget* w, gpointer list) {
          *static_cast<GList**>(list) = g_list_append(*static_cast<GList**>(list), w);
        },
        &children);
    for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
      found = FindWidget(static_cast<GtkWidget*>(c->data), match);
    g_list_free(children);
  }
  return found;
}

// The first widget on screen of the type that passes the test.
inline GtkWidget* FindShown(GtkWindow* root, GType type, const std::function<bool(GtkWidget*)>& test = {})
{
  return FindWidget(GTK_WIDGET(root), [&](GtkWidget* w) {
    return G_TYPE_CHECK_INSTANCE_TYPE(w, type) && gtk_widget_is_drawable(w) && (!test || test(w));
  });
}

// The control registered under `id` (LWindow::AddControl).
inline GtkWidget* FindControl(GtkWindow* window, int id)
{
  return FindWidget(GTK_WIDGET(window),
                    [id](GtkWidget* w) { return g_object_get_data(G_OBJECT(w), "velorin-id") == GINT_TO_POINTER(id); });
}

inline void Respond(GtkWindow* window, gint response)
{
  gtk_dialog_response(GTK_DIALOG(window), response);
}
inline void Click(GtkWindow* window, int id)
{
  gtk_button_clicked(GTK_BUTTON(FindControl(window, id)));
}
inline void SetText(GtkWindow* window, int id, const char* text)
{
  gtk_entry_set_text(GTK_ENTRY(FindControl(window, id)), text);
}
inline std::string EntryText(GtkWindow* window, int id)
{
  return gtk_entry_get_text(GTK_ENTRY(FindControl(window, id)));
}
inline bool IsChecked(GtkWindow* window, int id)
{
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(FindControl(window, id)));
}
inline bool Sensitive(GtkWindow* window, int id)
{
  return gtk_widget_get_sensitive(FindControl(window, id));
}

// The rows of a list control or a pull-down list, each as its text cells.
inline std::vector<std::vector<std::string>> ModelRows(GtkTreeModel* model)
{
  std::vector<std::vector<std::string>> rows;
  GtkTreeIter iter;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
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

// A wizard's buttons and choices by what the page shows; false when not (yet) offered.
inline bool Press(GtkWindow* wizard, int response)
{
  GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(wizard), response);
  const bool ready = button != nullptr && gtk_widget_is_sensitive(button);
  return ready && (gtk_button_clicked(GTK_BUTTON(button)), true);
}

inline bool Choose(GtkWindow* wizard, const char* label)
{
  GtkWidget* radio = FindShown(wizard, GTK_TYPE_TOGGLE_BUTTON, [&](GtkWidget* w) {
    const char* text = gtk_button_get_label(GTK_BUTTON(w));
    return text != nullptr && std::strcmp(text, label) == 0;
  });
  if (radio != nullptr)
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radio), TRUE);
  return radio != nullptr;
}

// What a message box showed.
struct SeenBox {
  std::string title, heading, body;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  bool iconShown = false;
  std::vector<std::string> buttons;
};

// Steps run in order once their window shows (by title, "" any dialog, or a
// message box), retried until true.  Boxes are recorded; other boxes get
// AnswerOtherBoxes' response.  Still waiting after 60 s: all cancelled.
class LScript {
public:
  using Action = std::function<bool(GtkWindow*)>;

  LScript() { poll_ = g_timeout_add(20, GSPoll, this); }
  ~LScript()
  {
    g_source_remove(poll_);
    if (run_ != 0)
      g_source_remove(run_);
  }
  LScript(const LScript&) = delete;
  LScript& operator=(const LScript&) = delete;

  LScript& On(const std::string& title, Action action) { return Add(title, false, std::move(action)); }
  LScript& OnBox(Action action) { return Add("", true, std::move(action)); }
  LScript& Answer(gint response)
  {
    return OnBox([response](GtkWindow* box) {
      Respond(box, response);
      return true;
    });
  }
  void AnswerOtherBoxes(gint response) { other_ = response; }
  std::string Pending() const
  {
    return steps_.empty() ? "" : steps_.front().box ? "a message box" : steps_.front().title;
  }

  std::vector<SeenBox> boxes;       // every box answered, in order
  std::vector<std::string> titles;  // the dialogs' titles, as they changed
  std::vector<double> progress;     // every progress bar fraction seen

private:
  struct Step {
    std::string title;
    bool box;
    Action action;
    GtkWindow* window = nullptr;
  };

  LScript& Add(const std::string& title, bool box, Action action)
  {
    return steps_.push_back({title, box, std::move(action)}), *this;
  }

  void Record(GtkWindow* window)
  {
    SeenBox seen;
    gchar *text = nullptr, *secondary = nullptr;
    g_object_get(window, "text", &text, "secondary-text", &secondary, "message-type", &seen.type, nullptr);
    seen.title = gtk_window_get_title(window);
    seen.heading = text != nullptr ? text : "";
    seen.body = secondary != nullptr ? secondary : "";
    g_free(text);
    g_free(secondary);
    GtkWidget* image = gtk_message_dialog_get_image(GTK_MESSAGE_DIALOG(window));
    seen.iconShown = image != nullptr && gtk_image_get_storage_type(GTK_IMAGE(image)) != GTK_IMAGE_EMPTY;
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(window)->action_area));
    for (GList* b = buttons; b != nullptr; b = b->next)
      seen.buttons.push_back(gtk_button_get_label(GTK_BUTTON(b->data)));
    g_list_free(buttons);
    boxes.push_back(seen);
  }

  static gboolean GSPoll(gpointer self)
  {
    static_cast<LScript*>(self)->Poll();
    return TRUE;
  }

  void Poll()
  {
    // One action at a time: its window is shown until it ran.
    if (run_ != 0)
      return;
    const bool stuck = !steps_.empty() && ++ticks_ > 3000;
    GtkWindow *box = nullptr, *window = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next) {
      GtkWindow* top = GTK_WINDOW(w->data);
      const gchar* title = gtk_window_get_title(top);
      if (!gtk_widget_get_visible(GTK_WIDGET(top)))
        continue;
      if (GTK_IS_MESSAGE_DIALOG(top)) {
        box = top;
        continue;
      }
      if (stuck && GTK_IS_DIALOG(top))
        Respond(top, GTK_RESPONSE_CANCEL);
      if (GTK_IS_DIALOG(top) && title != nullptr && (titles.empty() || titles.back() != title))
        titles.emplace_back(title);
      if (GTK_IS_DIALOG(top))
        FindWidget(GTK_WIDGET(top), [this](GtkWidget* p) {
          if (GTK_IS_PROGRESS_BAR(p))
            progress.push_back(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(p)));
          return false;
        });
      if (!steps_.empty() && !steps_.front().box && title != nullptr &&
          (steps_.front().title.empty() ? GTK_IS_DIALOG(top) : steps_.front().title == title))
        window = top;
    }
    g_list_free(windows);
    const bool boxStep = !steps_.empty() && steps_.front().box;
    if (box != nullptr && !boxStep && other_ != 0) {
      Record(box);
      Respond(box, other_);
      return;
    }
    window = box != nullptr ? (boxStep ? box : nullptr) : window;
    if (window == nullptr)
      return;
    // The action runs from a source of its own: it may run a nested modal
    // loop (a click that opens a dialog), in which this poll goes on.
    if (boxStep)
      Record(box);
    running_ = std::move(steps_.front());
    running_.window = window;
    steps_.pop_front();
    run_ = g_idle_add_full(G_PRIORITY_DEFAULT, GSRun, this, nullptr);
  }

  static gboolean GSRun(gpointer self)
  {
    auto* script = static_cast<LScript*>(self);
    Step step = std::move(script->running_);
    script->run_ = 0;
    if (step.action(step.window))
      script->ticks_ = 0;
    else
      script->steps_.push_front(std::move(step));
    return FALSE;
  }

  std::deque<Step> steps_;
  Step running_;
  guint run_ = 0;
  guint poll_;
  int ticks_ = 0;
  gint other_ = 0;
};

// The application's message boxes recorded (their primary text) instead of shown.
class LRecordedBoxes : public LMessageBoxes {
public:
  void Info(LWindow*, const char* primary, const char*) override { shown.emplace_back(primary); }
  void InfoNoIcon(LWindow*, const char* primary, const char*) override { shown.emplace_back(primary); }
  bool QueryYes(LWindow*, const char* primary, const char*) override { return shown.emplace_back(primary), false; }
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
