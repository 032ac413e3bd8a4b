#include "gui/installpages.h"

#include "app/installdialog.h"
#include "app/messagebox.h"
#include "base/file.h"
#include "base/folderiterator.h"
#include "base/stringtools.h"
#include "gui/dialoggen.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

enum : int { kIdAgree = 301, kIdDisagree = 302 };

constexpr const char* kLicenceTerms =
    "Velorin v 1.01 - Software License Terms\n\n"
    "This software is provided \"as is\", without warranty of any kind, express or implied, including but not "
    "limited to the warranties of merchantability, fitness for a particular purpose and noninfringement. In no "
    "event shall the authors be liable for any claim, damages or other liability arising from the use of the "
    "software. You may install and use it on any number of computers. You are responsible for holding the rights "
    "to the audio you stream with it.";

constexpr const char* kClosingNote =
    "Velorin is installed. If you find a problem or have a suggestion, please tell us through the Help menu "
    "of the program: every report is read.";

constexpr const char* kAdministratorOnly =
    "To install software you must be logged on as this computer's Administrator. If you are not able to do "
    "this, ask your computer Administrator to log in and run the setup file again.";

// Status line 2 while a top folder is moved.
struct LFolderText {
  const char* name;
  const char* text;
};
constexpr LFolderText kFolderTexts[] = {
    {"share", "Copying Images and Help"},
    {"etc", "Copying Default Settings and Files"},
    {"bin", "Copying Binary Application file"},
};

}  // namespace

void LAddReadOnlyText(GtkWidget* box, const char* text)
{
  GtkWidget* view = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), text, -1);
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scroll), view);
  gtk_box_pack_start(GTK_BOX(box), scroll, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), gtk_hseparator_new(), FALSE, FALSE, 0);
}

void LLicenceTermsPage::BuildControls(GtkWidget* box)
{
  LAddReadOnlyText(box, kLicenceTerms);
  LDialogGenContext gen(box, *this);
  gen.AddRadio(kIdAgree, "Yes, I agree.", 0);
  gen.AddRadio(kIdDisagree, "No, I don't agree.", kIdAgree);
  SetControlCheck(kIdDisagree, true);
}

void LLicenceTermsPage::EnableControls()
{
  const bool agreed = GetControlCheck(kIdAgree);
  EnableChangePage(agreed);
  EnableGoBack(false);
  EnableFinish(!agreed);
}

bool LLicenceTermsPage::CmCancel()
{
  GtkWidget* box =
      gtk_message_dialog_new(GetGtkWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_OK_CANCEL, "%s",
                             "Setup is not complete. If you quit now, the program will not be "
                             "installed.\r\n\r\nYou may run the setup program again at another time "
                             "to complete the installation.\r\n\r\nExit Setup?");
  gtk_window_set_title(GTK_WINDOW(box), "Exit Setup");
  const bool quit = gtk_dialog_run(GTK_DIALOG(box)) == GTK_RESPONSE_OK;
  gtk_widget_destroy(box);
  return quit;
}

void LInstallPage::Start()
{
  DisableAllButtons();
  if (Install())
    Next();
  else
    Cancel();
}

bool LInstallPage::Install()
{
  if (!LFile::TestFolderWritable("/opt/")) {
    SetError(kAdministratorOnly);
    return false;
  }
  if (!Initialize())
    return false;
  SetStatus1("Installing Velorin");
  SetStatus2("Software License Terms");
  SetProgress(0);
  char current[kPathSize];
  if (::getcwd(current, sizeof current) != nullptr) {
    LForEachReleaseFolder(current, [this](const char* name, const char* source, const char* target) {
      for (const LFolderText& folder : kFolderTexts)
        if (std::strcmp(folder.name, name) == 0)
          SetStatus2(folder.text);
      LFile::CreateFolder(target);
      MoveFolder(source, target);
    });
  }
  Finalize();
  installed_ = true;
  return true;
}

bool LInstallPage::MoveFolder(const char* from, const char* to)
{
  for (LFile::FolderIteratorAllFiles it(from); it; it.Next()) {
    char source[kPathSize];
    char target[kPathSize];
    if (it.IsDotOrDotDot() || !it.GetFilePath(source) || !LFile::MakeFilePathWhole(target, to, it.GetFile()))
      continue;
    if (it.IsFolder()) {
      LFile::CreateFolder(target);
      if (!MoveFolder(source, target))
        return false;
      LFile::DeleteFolder(source);
      continue;
    }
    char line[kPathSize + 16];
    std::snprintf(line, sizeof line, "Copying File %s", it.GetFile());
    SetStatus2(line);
    SetProgress(progress_);
    progress_ += 0.05;
    if (LFile::CopyFile(source, target))
      LFile::DeleteFile(source);
    if (IsToStop())
      return false;
  }
  return true;
}

void LCommentPage::BuildControls(GtkWidget* box)
{
  LAddReadOnlyText(box, kClosingNote);
}
