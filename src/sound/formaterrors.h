#pragma once
// Error codes that the file readers leave in a source that failed to open,
// and the texts that the converters show on the progress display.

// Codes of LSoundSourceBase::GetErrorCode beside those of every source
// (audio/soundsource.h): 1 no source, 2 input in error, 3 bad rate or
// channel count.  The readers reuse 3 for any damaged or foreign file.
inline constexpr unsigned char kFileErrorCorrupt = 3;   // corrupt, foreign, or a header read came up short
inline constexpr unsigned char kFileErrorOpen = 4;      // the file cannot be opened
inline constexpr unsigned char kFileErrorEncoding = 5;  // a known container with an encoding not handled

// Messages of the converters, one row each in the table of formaterrors.cpp.
enum class LFormatMessage {
  DctLoadError,
  DctCorrupt,
  DctEncrypted,
  DctNotesError,
  DctAttachmentTooLarge,
  DctZeroChannels,
  PluginMissing,           // format: the extension
  PluginNotInstalled,      // appended to PluginMissing when a decoder row matched
  PluginNoneAvailable,     // appended to PluginMissing when no row matched, then the address
  PluginNoneAvailableEnd,  // after the address
  DecodingStatus,          // format: the extension
  DctStatus,
  DartStatus,
  OpenFailed,  // format: the file name; shown by a dispatch that is not quiet
};

const char* LGetFormatMessage(LFormatMessage message);

// Where the decoder components can be fetched, named in the missing-plugin
// texts.
inline constexpr const char* kComponentDownloadAddress = "http://www.ostrel.com/velorin/components.html";
