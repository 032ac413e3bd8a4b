#pragma once
#include "common/wavwriter.h"

// Decodes every logical stream of an Ogg Vorbis file into wav.  A chained
// file whose links differ in rate or channel count is refused, since one
// WAV file has one format; so is a file with missing or damaged pages or
// one cut short.
// Streams of three to eight channels are put into WAV channel order.
bool DecodeVorbisFile(const char* input, LWavWriter& wav);
