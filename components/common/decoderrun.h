#pragma once
#include "common/wavwriter.h"

// Decodes the file at input into wav: calls wav.SetFormat before the first
// samples and reports its own errors (ReportError).  False on any failure.
using LDecodeFunction = bool (*)(const char* input, LWavWriter& wav);

// The whole life of a decoder component: parses "[-d] -o OUT.wav IN" (-d,
// "decode", is accepted only when acceptDecodeFlag), decodes and commits.
// Returns the exit status: 0 done, 1 decoding failed (no file is left at
// OUT), 2 bad command line.
int RunDecoderMain(const char* name, int argc, char** argv, bool acceptDecodeFlag, LDecodeFunction decode);
