#include "sound/formaterrors.h"

namespace {

struct MessageRow {
  LFormatMessage id;
  const char* text;
};

constexpr MessageRow kMessages[] = {
    {LFormatMessage::DctLoadError, "DCT File load error"},
    {LFormatMessage::DctCorrupt, "DCT File is corrupt"},
    {LFormatMessage::DctEncrypted,
     "You cannot load encrypted files with this software. Play it with the dictation player that "
     "came with the recorder."},
    {LFormatMessage::DctNotesError, "Unable to load dct file because of file corruption (notes error)."},
    {LFormatMessage::DctAttachmentTooLarge,
     "Unable to load dct file because of file corruption (attachment too large)."},
    {LFormatMessage::DctZeroChannels,
     "Unable to load dct file because of file corruption (zero channels error). Please ask the dictator to send "
     "it again."},
    {LFormatMessage::PluginMissing, "Velorin could not locate a plugin for the file with extension \"%s\"."},
    {LFormatMessage::PluginNotInstalled,
     "\r\n\r\nYou will need to download and install the plugin yourself from here: "},
    {LFormatMessage::PluginNoneAvailable,
     " No plugin appears to be available, therefore this format may be unsupported. Visit "},
    {LFormatMessage::PluginNoneAvailableEnd, " to check if there is a plugin for this format."},
    {LFormatMessage::DecodingStatus, "Decoding %s file"},
    {LFormatMessage::DctStatus, "Loading DCT File"},
    {LFormatMessage::DartStatus, "Loading Dart File"},
    {LFormatMessage::OpenFailed, "Velorin could not read the audio file \"%s\"."},
};

}  // namespace

const char* LGetFormatMessage(LFormatMessage message)
{
  for (const MessageRow& row : kMessages) {
    if (row.id == message) {
      return row.text;
    }
  }
  return "";
}
