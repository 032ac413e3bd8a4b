#include "gui/dialog.h"

#include "base/stringtools.h"

namespace {
// The response EndDialog sends to leave the run loop; GTK's own are negative.
constexpr gint kEndResponse = 1000;
}  // namespace

LDialog::LDialog(const char* title, int width, bool helpButton) : width_(width), help_(helpButton)
{
  tstrlcpy(title_, title, sizeof title_);
}

int LDialog::Run(GtkWindow* parent)
{
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      title_, parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), nullptr, nullptr);
  if (help_)
    gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_HELP, GTK_RESPONSE_HELP);
  gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL);
  gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_OK, GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  if (width_ > 0)
    gtk_window_set_default_size(GTK_WINDOW(dialog), width_, -1);
  SetGtkWindow(GTK_WINDOW(dialog));

  content_ = gtk_vbox_new(FALSE, 6);
  gtk_container_set_border_width(GTK_CONTAINER(content_), 8);
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), content_, TRUE, TRUE, 0);
  BuildControls(content_);
  ended_ = false;
  result_ = kIdCancel;
  if (!InitDialog())
    EndDialog(kIdCancel);
  EnableControls();
  gtk_widget_show_all(dialog);

  while (!ended_) {
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == GTK_RESPONSE_NONE)  // destroyed under us
      ended_ = true;
    else
      OnResponse(response);
  }

  DestroyDialog();
  ClearControls();
  content_ = nullptr;
  SetGtkWindow(nullptr);
  gtk_widget_destroy(dialog);
  return result_;
}

void LDialog::OnResponse(gint response)
{
  switch (response) {
  case GTK_RESPONSE_OK:
    if (CmOk())
      EndDialog(kIdOk);
    break;
  case GTK_RESPONSE_HELP: CmHelp(); break;
  case kEndResponse: break;
  default:  // Cancel, Escape, the window manager's close
    if (CmCancel())
      EndDialog(kIdCancel);
    break;
  }
}

void LDialog::EndDialog(int code)
{
  if (ended_)
    return;
  ended_ = true;
  result_ = code;
  // Leaves gtk_dialog_run when called from a control's handler.
  if (GetGtkWindow() != nullptr)
    gtk_dialog_response(GTK_DIALOG(GetGtkWindow()), kEndResponse);
}
