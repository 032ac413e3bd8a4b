#pragma once
// Headerless audio files: the sample coding, rate and channel count come
// from LRawSettings, and the whole file is sample data.
#include "audio/soundsource.h"
#include "sound/rawsettings.h"
#include "sound/wavcodecs.h"

// The raw sample-data source is the PCM file source with its end following
// the file's size (see LSRCPCMFileBase::FollowFileEnd).
using LRawFileDataSoundSourceBase = LSRCPCMFileBase;
template <class T>
using LRawFileDataSoundSource = LSRCPCMFile<T>;

class LRawFile {
public:
  // Codec 0 reads Dialogic ADPCM (mono, at the settings' rate); 1 to 8 the
  // sample codings of LRawCodec; any other codec gives an error source
  // (code 1).
  static LSoundSource OpenSource(const char* path, const LRawSettings& settings);
  // Dialogic ADPCM at `rate`; always mono, whatever `channels` says.
  static LSoundSource OpenSourceADPCM(const char* path, int rate, unsigned char channels);
};
