#pragma once
// Which file of the recordings library a request for a recording names.
// Called on connection threads; reads the settings store.

// The file velorin.mp3 serves for the recording `name` at the requested
// rate: the "High" folder's when kbps is at least Settings/BroadBandKBPS
// (unclamped), else the "Low" folder's.  Into out (260 bytes); false when
// the name is not valid or the file does not exist.
bool LSiteFindRecordingFile(char* out, const char* name, int kbps);
