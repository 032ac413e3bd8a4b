#include "sound/cmdlinedecode.h"

#include "base/file.h"
#include "base/formatter.h"
#include "net/processcommand.h"
#include "sound/formaterrors.h"

namespace {

constexpr const char* kDecodeTemplate = "\"%s\" -o \"%s\" \"%s\"";
constexpr const char* kDecodeTemplateDash = "\"%s\" -d -o \"%s\" \"%s\"";

// The ".aac", ".m4a" and ".mp4" rows serve this lookup only: the format
// dispatch does not send those extensions to a decoder.
constexpr LCommandLineDecodeRow kRows[] = {
    {".ogg", "tarnel", kDecodeTemplate, false},     {".flac", "wendrik", kDecodeTemplateDash, false},
    {".aac", "olvast", kDecodeTemplateDash, false}, {".m4a", "olvast", kDecodeTemplateDash, false},
    {".mp4", "olvast", kDecodeTemplateDash, false},
};

// Inside the shell's double quotes only these keep a meaning.
bool IsSpecialInQuotes(char c)
{
  return c == '"' || c == '\\' || c == '$' || c == '`';
}

// Escaped text, cut (never inside an escape) to fit `size` bytes.
void EscapeForQuotes(char* out, std::size_t size, const char* text)
{
  std::size_t at = 0;
  for (; *text != 0; ++text) {
    std::size_t need = IsSpecialInQuotes(*text) ? 2 : 1;
    if (at + need >= size) {
      break;
    }
    if (need == 2) {
      out[at++] = '\\';
    }
    out[at++] = *text;
  }
  out[at] = 0;
}

// Appends text to the kPathSize buffer, cutting at its end.
void Append(char* buffer, const char* text)
{
  std::size_t length = 0;
  while (length < kPathSize - 1 && buffer[length] != 0) {
    ++length;
  }
  tstrlcpy(buffer + length, text, kPathSize - length);
}

}  // namespace

const LCommandLineDecodeRow* LCommandLineDecodeList(std::size_t& count)
{
  count = sizeof kRows / sizeof kRows[0];
  return kRows;
}

bool LGetCommandLineDecoderLine(char* command, const char* sourcePath, const char* wavPath, char* component)
{
  command[0] = 0;
  component[0] = 0;
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, sourcePath);
  const LCommandLineDecodeRow* row = nullptr;
  for (const LCommandLineDecodeRow& candidate : kRows) {
    if (tstricmp(candidate.extension, extension) == 0) {
      row = &candidate;
      break;
    }
  }
  if (row == nullptr) {
    return false;
  }
  tlstrcpy(component, row->component);
  char program[kPathSize];
  if (!GetComponentPath(row->component, program)) {
    return false;
  }
  // Each escaped path may double in length.
  char quoted[3][2 * kPathSize];
  EscapeForQuotes(quoted[0], sizeof quoted[0], program);
  EscapeForQuotes(quoted[1], sizeof quoted[1], row->swapPaths ? sourcePath : wavPath);
  EscapeForQuotes(quoted[2], sizeof quoted[2], row->swapPaths ? wavPath : sourcePath);
  // A cut command would name other files; one that does not fit is not run.
  char whole[4 * kCommandLineSize];
  std::size_t length = tsprintf(whole, sizeof whole, row->commandTemplate, quoted[0], quoted[1], quoted[2]);
  if (length >= kCommandLineSize) {
    return false;
  }
  tstrlcpy(command, whole, kCommandLineSize);
  return true;
}

LCmdLineConvertToWav::LCmdLineConvertToWav(const char* sourcePath, const char* wavPath)
{
  tlstrcpy(source_, sourcePath);
  tlstrcpy(wav_, wavPath);
}

LProcessResult LCmdLineConvertToWav::Run(LProgressRef& progress)
{
  char extension[kPathSize];
  LFile::GetFileExtensionFromPath(extension, source_);
  char text[kPathSize];
  tsprintf(text, kPathSize, LGetFormatMessage(LFormatMessage::DecodingStatus), extension);
  progress.SetStatus1(text);
  LFile::GetFileFromPath(text, source_);
  progress.SetStatus2(text);

  char command[kCommandLineSize];
  char component[kPathSize];
  if (!LGetCommandLineDecoderLine(command, source_, wav_, component)) {
    tsprintf(text, kPathSize, LGetFormatMessage(LFormatMessage::PluginMissing), extension);
    if (component[0] != 0) {
      Append(text, LGetFormatMessage(LFormatMessage::PluginNotInstalled));
      Append(text, kComponentDownloadAddress);
    } else {
      Append(text, LGetFormatMessage(LFormatMessage::PluginNoneAvailable));
      Append(text, kComponentDownloadAddress);
      Append(text, LGetFormatMessage(LFormatMessage::PluginNoneAvailableEnd));
    }
    progress.SetError(text);
    return kProcessFailed;
  }
  return ProcessRunCommandLineProcessWithProgress(progress, command, kTimeLimitMs);
}
