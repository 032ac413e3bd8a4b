#include "gui/wizard.h"

#include "app/messagebox.h"
#include "base/stringtools.h"

namespace {

enum : int { kIdStatus1 = 201, kIdStatus2 = 202, kIdProgress = 203 };

// The response a page's own Next/Back/Cancel sends to leave gtk_dialog_run.
constexpr gint kWizardPoke = 100;

}  // namespace

void LWizardPage::EnableGoBack(bool enable)
{
  wizard_.EnableButton(kWizardBack, enable);
}
void LWizardPage::EnableChangePage(bool enable)
{
  wizard_.EnableButton(kWizardNext, enable);
}
void LWizardPage::EnableFinish(bool enable)
{
  wizard_.EnableButton(kWizardFinish, enable);
}

void LWizardPage::DisableAllButtons()
{
  for (int command : {kWizardBack, kWizardNext, kWizardFinish, kWizardCancel})
    wizard_.EnableButton(command, false);
}

void LWizardPage::Next()
{
  wizard_.Command(kWizardNext);
}
void LWizardPage::Back()
{
  wizard_.Command(kWizardBack);
}
void LWizardPage::Cancel()
{
  wizard_.Command(kWizardCancel);
}
GtkWindow* LWizardPage::GetGtkWindow() const
{
  return wizard_.GetGtkWindow();
}

void LWizard::AddPage(LWizardPage* page, const char* title, const char* subtitle)
{
  Page entry{page, "", "", nullptr, 0};
  tstrlcpy(entry.title, title, sizeof entry.title);
  tstrlcpy(entry.subtitle, subtitle, sizeof entry.subtitle);
  pages_.push_back(entry);
}

void LWizard::SetIcon(const char* path)
{
  tstrlcpy(icon_, path, sizeof icon_);
}

void LWizard::EnableButton(int command, bool enable)
{
  if (dialog_ != nullptr)
    gtk_dialog_set_response_sensitive(GTK_DIALOG(dialog_), command, enable);
}

void LWizard::ShowPage(int index)
{
  if (current_ >= 0 && current_ != index) {
    pages_[current_].page->Deactivate();
    gtk_widget_hide(pages_[current_].box);
  }
  current_ = index;
  const int last = static_cast<int>(pages_.size()) - 1;
  EnableButton(kWizardFinish, index == last);
  EnableButton(kWizardNext, index < last);
  EnableButton(kWizardBack, index > 0);
  EnableButton(kWizardCancel, true);
  gtk_window_set_title(GTK_WINDOW(dialog_), pages_[index].title);
  gtk_widget_show_all(pages_[index].box);
  pages_[index].page->Activate();
  pages_[index].page->EnableControls();
}

void LWizard::End(unsigned char result)
{
  result_ = result;
  ended_ = true;
}

void LWizard::Command(int command)
{
  if (ended_ || current_ < 0)
    return;
  LWizardPage* page = pages_[current_].page;
  const int last = static_cast<int>(pages_.size()) - 1;
  switch (command) {
  case kWizardBack:
    if (current_ > 0)
      ShowPage(current_ - 1);
    break;
  case kWizardNext:
    if (current_ == last) {
      Command(kWizardFinish);
    } else if (page->CmOk()) {
      ShowPage(current_ + 1);
    }
    break;
  case kWizardFinish:
    // The page decides whether the wizard may end here.
    if (page->CmOk()) {
      accepted_ = true;
      End(pages_[current_].finish);
    }
    break;
  default:
    if (page->CmCancel())
      End(0);
    break;
  }
  if (ended_)
    gtk_dialog_response(GTK_DIALOG(dialog_), kWizardPoke);
}

bool LWizard::Open(GtkWindow* parent)
{
  if (pages_.empty())
    return false;
  // Held until the end, so a window destroyed under the wizard (by the
  // window manager, say) is still safe to destroy once more.
  dialog_ = GTK_WIDGET(g_object_ref_sink(gtk_dialog_new()));
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  if (parent != nullptr)
    gtk_window_set_transient_for(GTK_WINDOW(dialog_), parent);
  if (icon_[0] != 0)
    gtk_window_set_icon_from_file(GTK_WINDOW(dialog_), icon_, nullptr);
  gtk_dialog_add_button(GTK_DIALOG(dialog_), GTK_STOCK_GO_BACK, kWizardBack);
  gtk_dialog_add_button(GTK_DIALOG(dialog_), GTK_STOCK_GO_FORWARD, kWizardNext);
  gtk_dialog_add_button(GTK_DIALOG(dialog_), "Finish", kWizardFinish);
  gtk_dialog_add_button(GTK_DIALOG(dialog_), GTK_STOCK_CANCEL, kWizardCancel);
  gtk_window_set_default_size(GTK_WINDOW(dialog_), 520, 400);
  GtkWidget* area = GTK_DIALOG(dialog_)->vbox;
  for (Page& entry : pages_) {
    entry.finish = 0;
    entry.box = gtk_vbox_new(FALSE, 6);
    gtk_container_set_border_width(GTK_CONTAINER(entry.box), 8);
    GtkWidget* heading = gtk_label_new(nullptr);
    char* markup = g_markup_printf_escaped("<b>%s</b>", entry.subtitle);
    gtk_label_set_markup(GTK_LABEL(heading), markup);
    g_free(markup);
    gtk_misc_set_alignment(GTK_MISC(heading), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(entry.box), heading, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(entry.box), gtk_hseparator_new(), FALSE, FALSE, 0);
    entry.page->BuildControls(entry.box);
    gtk_box_pack_start(GTK_BOX(area), entry.box, TRUE, TRUE, 0);
    entry.page->InitDialog();
  }
  pages_.back().finish = 1;
  gtk_widget_show(dialog_);
  ended_ = false;
  accepted_ = false;
  result_ = 0;
  current_ = -1;
  ShowPage(0);
  while (!ended_) {
    gint response = gtk_dialog_run(GTK_DIALOG(dialog_));
    if (response == GTK_RESPONSE_NONE || response == GTK_RESPONSE_DELETE_EVENT)
      End(0);
    else if (response != kWizardPoke)
      Command(response);
  }
  if (current_ >= 0)
    pages_[current_].page->Deactivate();
  for (Page& entry : pages_)
    entry.page->DestroyDialog();
  gtk_widget_destroy(dialog_);
  g_object_unref(dialog_);
  dialog_ = nullptr;
  return result_ == 1 && accepted_;
}

LWizardProcessBase::~LWizardProcessBase()
{
  if (timer_ != 0)
    g_source_remove(timer_);
}

void LWizardProcessBase::BuildControls(GtkWidget* box)
{
  GtkWidget* title = gtk_label_new("Installation in Progress..");
  gtk_misc_set_alignment(GTK_MISC(title), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(box), title, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), gtk_hseparator_new(), FALSE, FALSE, 0);
  for (int id : {kIdStatus1, kIdStatus2}) {
    GtkWidget* line = AddControl(id, gtk_label_new(""));
    gtk_misc_set_alignment(GTK_MISC(line), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(box), line, FALSE, FALSE, 0);
  }
  gtk_box_pack_start(GTK_BOX(box), AddControl(kIdProgress, gtk_progress_bar_new()), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), gtk_hseparator_new(), FALSE, FALSE, 0);
}

void LWizardProcessBase::Activate()
{
  stop_ = false;
  if (timer_ == 0)
    timer_ = g_timeout_add(10, &GSTimer, this);
}

void LWizardProcessBase::Deactivate()
{
  stop_ = true;
}

gboolean LWizardProcessBase::GSTimer(gpointer self)
{
  auto* page = static_cast<LWizardProcessBase*>(self);
  page->timer_ = 0;
  page->Start();
  return FALSE;
}

void LWizardProcessBase::SetStatus1(const char* text)
{
  SetControlText(kIdStatus1, text);
}
void LWizardProcessBase::SetStatus2(const char* text)
{
  SetControlText(kIdStatus2, text);
}

void LWizardProcessBase::SetProgress(double value)
{
  if (!(value >= 0))
    value = 0;
  if (value > 1)
    value = 1;
  GtkWidget* bar = GetControl(kIdProgress);
  if (bar != nullptr)
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar), value);
}

void LWizardProcessBase::SetError(const char* text)
{
  PopupBoxError(this, text);
}

bool LWizardProcessBase::IsToStop()
{
  while (gtk_events_pending())
    gtk_main_iteration();
  return stop_;
}
