#include "gui/uninstallpages.h"

#include "app/autorun.h"
#include "app/installreport.h"
#include "app/messagebox.h"
#include "gui/dialoggen.h"

#include <cstring>

namespace {

enum : int {
  kIdUninstall = 401,
  kIdNothing = 402,
  kIdStopAuto = 403,
  kIdNoTell = 411,
  kIdTell = 412,
  kIdReason = 413,
  kIdPrompt = 414,
  kIdComment = 415,
  kIdInfo = 416,
};

constexpr const char* kCommentPlaceholder = "[Type any comments here]";

void Show(LWindow& window, int id, bool show)
{
  GtkWidget* widget = window.GetControl(id);
  if (widget != nullptr)
    gtk_widget_set_visible(widget, show);
}

}  // namespace

const LUninstallCommentPage::Comments LUninstallCommentPage::kComments[5] = {
    {"NotUsed", "I don't use it very often", nullptr,
     "A full list of our products is on our web site: http://www.ostrel.com/"},
    {"Problem", "I have problems using it", "Please tell us what problems do you have had? [Optional]", nullptr},
    {"Features", "It doesn't have features that I want", nullptr,
     "We make many similar programs; perhaps one of them has what you need: http://www.ostrel.com/products/"},
    {"Prefer", "I prefer another product", "Please tell us why you prefer the other product? [Optional]", nullptr},
    {"Other", "Other", nullptr, nullptr},
};

void LUninstallConfirmPage::BuildControls(GtkWidget* box)
{
  LDialogGenContext gen(box, *this);
  gen.AddStatic("Please confirm what you want to do?");
  gen.AddRadio(kIdUninstall, "Uninstall this software.", 0);
  gen.AddRadio(kIdNothing, "Nothing (I do not want to uninstall).", kIdUninstall);
  gen.AddRadio(kIdStopAuto, "Stop it running automatically (but keep it installed)", kIdUninstall);
}

void LUninstallConfirmPage::EnableControls()
{
  const bool nothing = GetControlCheck(kIdNothing);
  EnableChangePage(!nothing);
  EnableFinish(nothing);
}

bool LUninstallConfirmPage::CmOk()
{
  if (GetControlCheck(kIdNothing)) {
    finished_ = true;
  } else if (GetControlCheck(kIdStopAuto)) {
    LAutoRun::RemRun();
    LAutoRun::RemRunUser();
    LAutoRun::RemRunService();
    finished_ = true;
    PopupBoxInfo(this,
                 "The run on startup option of the program has been turned off. To make it run automatically on "
                 "startup again, please click on the Options button of the program.",
                 "Run On Startup");
  }
  return true;
}

void LUninstallCommentPage::BuildControls(GtkWidget* box)
{
  LDialogGenContext gen(box, *this);
  gen.AddStatic("Please let us know why you are uninstalling. This is sent to our server anonymously and is used "
                "to help us make the product better.");
  gen.AddRadio(kIdNoTell, "No, I don't want to tell you", 0);
  gen.AddRadio(kIdTell, "Yes, send these comments to developers", kIdNoTell);
  gen.AddCombo(kIdReason, nullptr);
  AddControlListItem(kIdReason, "[Click to select reason]");
  for (const Comments& row : kComments)
    AddControlListItem(kIdReason, row.text);
  gen.AddStatic("");
  GtkWidget* prompt = AddControl(kIdPrompt, gtk_label_new(""));
  gtk_misc_set_alignment(GTK_MISC(prompt), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(box), prompt, FALSE, FALSE, 0);
  gen.AddEntry(kIdComment, nullptr);
  GtkWidget* info = AddControl(kIdInfo, gtk_label_new(""));
  gtk_label_set_line_wrap(GTK_LABEL(info), TRUE);
  gtk_label_set_selectable(GTK_LABEL(info), TRUE);
  gtk_box_pack_start(GTK_BOX(box), info, FALSE, FALSE, 0);
}

bool LUninstallCommentPage::InitDialog()
{
  SetControlCheck(kIdTell, true);
  SetControlInt(kIdReason, 0);
  SetControlText(kIdComment, kCommentPlaceholder);
  return true;
}

void LUninstallCommentPage::EnableControls()
{
  EnableChangePage(false);
  EnableGoBack(false);
  const int reason = GetControlInt(kIdReason) - 1;
  const bool chosen = reason >= 0 && reason < 5;
  const Comments* row = chosen ? &kComments[reason] : nullptr;
  EnableFinish(chosen || GetControlCheck(kIdNoTell));
  Show(*this, kIdPrompt, row != nullptr && row->info == nullptr);
  Show(*this, kIdComment, row != nullptr && row->info == nullptr);
  Show(*this, kIdInfo, row != nullptr && row->info != nullptr);
  if (row != nullptr) {
    SetControlText(kIdPrompt, row->prompt != nullptr ? row->prompt : "");
    SetControlText(kIdInfo, row->info != nullptr ? row->info : "");
  }
}

void LUninstallCommentPage::Command(int id)
{
  if (id == kIdReason)
    EnableControls();
}

bool LUninstallCommentPage::CmOk()
{
  const int reason = GetControlInt(kIdReason) - 1;
  if (GetControlCheck(kIdNoTell) || reason < 0 || reason >= 5)
    return true;
  const Comments& row = kComments[reason];
  char comment[260] = "";
  if (row.info == nullptr) {
    GetControlText(kIdComment, comment, sizeof comment);
    if (std::strcmp(comment, kCommentPlaceholder) == 0)
      comment[0] = 0;
  }
  if (std::strcmp(row.code, "Other") == 0 && comment[0] == 0)
    return true;
  LSendUninstallReport(row.code, comment);
  return true;
}
