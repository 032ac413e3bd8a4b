#pragma once
// Command lines of the external MP3 encoder component "lyrenc".
//
// The encoder reads raw signed 16-bit little-endian PCM on its standard
// input and writes MP3: to its standard output for the live streams, to a
// named file for recordings.  See LPipe16Sink and LAudioQueue for the
// processes that run these command lines.
#include <cstdint>

#include "audio/soundsink.h"

// Size of a buffer that takes any encoder command line: the quoted
// component path and output file, each possibly doubled by escaping.
inline constexpr int kEncoderCommandLineSize = 1280;

// The encoder component's name (its folder and executable).
inline constexpr const char kEncoderComponent[] = "lyrenc";

// Encoder settings for a file encode.  Built from a bit rate; written to the
// settings only by SaveAsDefaultSettings (the program never reads them).
struct LMp3EncodeSettings {
  // Channel modes, also the index of "-m s|j|f|m".
  enum : uint8_t { kModeStereo = 0, kModeJoint = 1, kModeForce = 2, kModeMono = 3 };

  explicit LMp3EncodeSettings(int bitRate);

  // Lower and upper bit rate: the CBR rate, or the VBR minimum / maximum.
  int GetLowerBitRate() const { return constantBitRate ? cbrBitRate : vbrMinBitRate; }
  int GetUpperBitRate() const { return constantBitRate ? cbrBitRate : vbrMaxBitRate; }

  // Writes all eight fields to section "MP3Encoder" of the shared settings.
  void SaveAsDefaultSettings() const;

  bool constantBitRate;
  uint16_t cbrBitRate;
  bool highQuality;
  uint16_t vbrMinBitRate;
  uint16_t vbrMaxBitRate;
  uint8_t vbrQuality;  // 0 highest .. 9 lowest
  bool errorProtection;
  uint8_t channelMode;
};

// The MP3 sample rate the encoder is fed with for input at `rate`: one of
// 48000, 44100, 32000, 24000, 22050, 16000, 11025, 8000.
int LMp3CorrectSampleRate(LMp3EncodeSettings& settings, int rate);

// Builds the command line that encodes PCM from standard input into
// outputFile (commandLine: kEncoderCommandLineSize bytes) and returns the
// rate and channel count to feed.  False, with an empty command line, when
// the component is missing or the command line would not fit.
bool Mp3CreateEncoderCommandLine(char* commandLine, int& sampleRate, unsigned char& channels, const char* outputFile,
                                 LMp3EncodeSettings& settings, int inputRate, unsigned char inputChannels);

// The live command line for kbps (mono up to 24 kbit/s, stereo above),
// reading 44.1 kHz stereo on standard input and writing MP3 to standard
// output.  False, with an empty command line, when the component is missing.
bool Mp3CreateLiveCommandLine(char* commandLine, int kbps);

// A sink that encodes what is written into outputFile; an error sink when
// the component is missing.  The file is complete once the sink is freed.
LSoundSink OpenMp3Sink(const char* outputFile, LMp3EncodeSettings& settings, int inputRate,
                       unsigned char inputChannels);
