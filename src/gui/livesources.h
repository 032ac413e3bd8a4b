#pragma once
// The live inputs as the settings dialog edits them: section Live, the
// count "Sources" and per input n (from 1) "Name<n>" and the device pair
// under the prefix "Device<n>".
#include "audio/soundrecorddevice.h"

int LLiveGetSourceCount();
void LLiveSetSourceCount(int count);
LSoundRecordDevice LLiveGetDevice(int number);
void LLiveSetDevice(int number, const LSoundRecordDevice& device);
// The card name of input n's device (260 bytes; empty without that card).
void LLiveGetDeviceName(int number, char* name);
