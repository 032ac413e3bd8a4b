#include "app/installconsole.h"

#include "app/installdialog.h"
#include "app/messagebox.h"
#include "app/uninstalldialog.h"
#include "base/file.h"
#include "base/stringtools.h"
#include "settings/log.h"

#include <cstring>
#include <unistd.h>

namespace {

constexpr const char* kLicenceTerms = "Velorin v 1.01 - Software License Terms\n"
                                      "\n"
                                      "This software is provided \"as is\", without warranty of any kind, express or\n"
                                      "implied, including but not limited to the warranties of merchantability,\n"
                                      "fitness for a particular purpose and noninfringement. In no event shall the\n"
                                      "authors be liable for any claim, damages or other liability arising from the\n"
                                      "use of the software. You may install and use it on any number of computers.\n"
                                      "You are responsible for holding the rights to the audio you stream with it.\n"
                                      "\n";

constexpr const char* kSite = "http://www.ostrel.com/velorin/";

// Message boxes on a console: printed, and logged as without a display.
class LConsoleMessageBoxes : public LMessageBoxes {
public:
  explicit LConsoleMessageBoxes(FILE* out) : out_(out) {}
  void Info(LWindow*, const char* primary, const char* secondary) override
  {
    std::fprintf(out_, "%s: %s\n", secondary, primary);
    LOGINFOF("%s: %s", secondary, primary);
  }
  void InfoNoIcon(LWindow* parent, const char* primary, const char* secondary) override
  {
    Info(parent, primary, secondary);
  }
  bool QueryYes(LWindow*, const char* primary, const char* secondary) override
  {
    std::fprintf(out_, "%s: %s (answered No)\n", secondary, primary);
    return false;
  }
  void Error(LWindow*, const char* text) override
  {
    std::fprintf(out_, "Error: %s\n", text);
    LOGERROR(text);
  }

private:
  FILE* out_;
};

// Installs the console boxes for one run.
class LConsoleBoxesScope {
public:
  explicit LConsoleBoxesScope(FILE* out) : boxes_(out) { LSetMessageBoxes(&boxes_); }
  ~LConsoleBoxesScope() { LSetMessageBoxes(nullptr); }
  LConsoleBoxesScope(const LConsoleBoxesScope&) = delete;
  LConsoleBoxesScope& operator=(const LConsoleBoxesScope&) = delete;

private:
  LConsoleMessageBoxes boxes_;
};

bool AnsweredYes(FILE* in)
{
  char answer[kPathSize];
  if (std::fgets(answer, sizeof answer, in) == nullptr)
    return false;
  answer[std::strcspn(answer, "\r\n")] = 0;
  return std::strcmp(answer, "y") == 0;
}

// Every sub-folder of the current folder is copied into the program folder
// under its name, so the current folder must be an unpacked release: run
// from elsewhere (a home, "/") it would copy whatever lies there.
bool IsReleaseFolder(const char* folder)
{
  char program[kPathSize];
  LFile::MakeFilePath(program, folder, "bin/velorin");
  return LFile::TestFileExists(program);
}

}  // namespace

bool RunInstallConsole(FILE* in, FILE* out)
{
  LConsoleBoxesScope boxes(out);
  std::fputs(kLicenceTerms, out);
  std::fputs("Do you agree to the license terms? Type y to agree and install: ", out);
  std::fflush(out);
  if (!AnsweredYes(in)) {
    std::fputs("\nThe license terms were not accepted; nothing was installed.\n", out);
    return false;
  }
  char current[kPathSize];
  if (::getcwd(current, sizeof current) == nullptr || !IsReleaseFolder(current)) {
    std::fputs("Run the installer from the unpacked release folder (the one holding bin/velorin); nothing was "
               "installed.\n",
               out);
    return false;
  }
  InstallDialog::Initialize();
  LForEachReleaseFolder(current, [out](const char* name, const char* source, const char* target) {
    std::fprintf(out, "Copying %s\n", name);
    LFile::CopyFolderFiles(source, target);
  });
  InstallDialog::Finalize();
  char app[kPathSize];
  LFile::GetProgramFolderApp(app);
  std::fprintf(out, "Velorin is installed in %s.\n", app);
  return true;
}

bool UninstallConsole(FILE* out)
{
  LConsoleBoxesScope boxes(out);
  if (!UninstallDialog::Uninstall()) {
    std::fputs("Velorin could not be uninstalled: the service could not be stopped.\n", out);
    return false;
  }
  std::fprintf(out, "Uninstall Complete: Velorin has been removed. You can download it again from %s\n", kSite);
  return true;
}
