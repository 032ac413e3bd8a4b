#pragma once
// Everything the log holds so far: the day files of the log folder, joined.
#include "common/files.h"
#include "settings/log.h"

#include <filesystem>
#include <string>

inline std::string ReadLogText()
{
  std::string text;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(gLLog.GetLogFolder(), error))
    text += ReadWhole(entry.path());
  return text;
}
