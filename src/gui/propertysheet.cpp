#include "gui/propertysheet.h"

#include "gui/dialoggen.h"
#include "gui/helptopic.h"

LPropertyPage::LPropertyPage(const char* tab, const char* helpTopic, LDialogGenFn layout)
    : LDialog(tab), tab_(tab), helpTopic_(helpTopic), layout_(layout)
{
}

GtkWindow* LPropertyPage::GetGtkWindow() const
{
  return sheet_ != nullptr ? sheet_->GetGtkWindow() : nullptr;
}

void LPropertyPage::CmHelp()
{
  LOpenHelpTopic(helpTopic_);
}

void LPropertyPage::BuildControls(GtkWidget* box)
{
  LDialogGenContext gen(box, *this);
  layout_(gen);
}

GtkWidget* LPropertyPage::Create(LPropertySheet& sheet)
{
  sheet_ = &sheet;
  GtkWidget* box = gtk_vbox_new(FALSE, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  BuildControls(box);
  InitDialog();
  EnableControls();
  return box;
}

void LPropertyPage::Destroy()
{
  DestroyDialog();
  ClearControls();
  sheet_ = nullptr;
}

LPropertySheet::LPropertySheet(const char* title) : title_(title) {}

void LPropertySheet::AddPage(std::unique_ptr<LPropertyPage> page)
{
  pages_.push_back(std::move(page));
}

bool LPropertySheet::OkPages()
{
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    if (!pages_[i]->CmOk()) {
      gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook_), static_cast<gint>(i));
      return false;
    }
  }
  return true;
}

bool LPropertySheet::Run(GtkWindow* parent)
{
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      title_, parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_STOCK_HELP,
      GTK_RESPONSE_HELP, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OK, GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  window_ = GTK_WINDOW(dialog);
  notebook_ = gtk_notebook_new();
  gtk_container_set_border_width(GTK_CONTAINER(notebook_), 6);
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), notebook_, TRUE, TRUE, 0);
  for (auto& page : pages_)
    gtk_notebook_append_page(GTK_NOTEBOOK(notebook_), page->Create(*this), gtk_label_new(page->GetTab()));
  gtk_widget_show_all(dialog);

  bool ok = false;
  for (bool running = true; running;) {
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == GTK_RESPONSE_OK) {
      ok = OkPages();
      running = !ok;
    } else if (response == GTK_RESPONSE_HELP) {
      gint current = gtk_notebook_get_current_page(GTK_NOTEBOOK(notebook_));
      if (current >= 0 && current < static_cast<gint>(pages_.size()))
        pages_[static_cast<std::size_t>(current)]->CmHelp();
    } else {
      // Cancel, Escape, the window manager's close, or destroyed under us:
      // the sheet ends whatever the pages answer.
      for (auto& page : pages_)
        page->CmCancel();
      running = false;
    }
  }
  for (auto& page : pages_)
    page->Destroy();
  gtk_widget_destroy(dialog);
  window_ = nullptr;
  notebook_ = nullptr;
  return ok;
}
