#pragma once

// Sets the name that prefixes every message ("lyrenc: ...").
void SetProgramName(const char* name);
const char* ProgramName();

// Writes "name: message" and a line end to standard error.
void ReportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
