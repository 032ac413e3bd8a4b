#pragma once
// The release package as `cmake --build build --target package` makes it,
// unpacked into a test's folder.
#include "integration/componentkit.h"

#include <string>

// Makes and unpacks the package in work (once); the unpacked top folder.
inline std::string UnpackedRelease(const std::string& work)
{
  using namespace componentkit;
  if (!Exists(work + "/unpacked")) {
    LRunResult made = RunShell("cd " + work + " && cpack -G TGZ --config " VELORIN_BINARY_DIR
                               "/CPackConfig.cmake >/dev/null && mkdir unpacked && tar xzf velorin-*-Linux.tar.gz "
                               "-C unpacked");
    EXPECT_TRUE(made.Exited(0)) << made.err;
  }
  return work + "/unpacked/" + FolderNames(work + "/unpacked").at(0);
}
