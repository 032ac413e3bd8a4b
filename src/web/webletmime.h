#pragma once

// Content type of a file extension (without its dot, any letter case);
// "application/octet-stream" for a missing or unlisted one.
const char* LExtToMimeType(const char* extension);

// Content type of a path, from its extension.
const char* LPathToMimeType(const char* path);
