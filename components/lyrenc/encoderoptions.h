#pragma once

enum class LChannelMode { Stereo, Joint, Forced, Mono };

// What the command line asks of the encoder.
struct LEncoderOptions {
  LChannelMode mode = LChannelMode::Joint;  // -m s|j|f|m
  bool downmix = false;                     // -a: stereo input, mono output
  bool variableBitRate = false;             // -v
  int bitRate = 128;                        // -b: CBR rate, or the VBR minimum (kbit/s)
  int maxBitRate = 320;                     // -B: VBR maximum (kbit/s)
  int vbrQuality = 4;                       // -V: 0 highest .. 9 lowest
  bool highQuality = false;                 // -h
  bool errorProtection = false;             // -p
  bool rawInput = false;                    // -r
  // Raw samples are big-endian unless -x swaps them to little-endian, so
  // "-r -x" is the little-endian PCM the server sends.
  bool littleEndianInput = false;  // -x
  int inputRate = 44100;           // -s, given in kHz
  bool silent = false;             // --silent, -S
  const char* input = nullptr;     // "-": standard input
  const char* output = nullptr;    // "-": standard output

  // Mono input only for "-m m" without "-a"; every other mode takes stereo.
  int InputChannels() const { return mode == LChannelMode::Mono && !downmix ? 1 : 2; }
  bool MonoOutput() const { return mode == LChannelMode::Mono || downmix; }
};

// Fills options from the command line; on a bad one reports it (stderr)
// and returns false.
bool ParseEncoderOptions(int argc, char** argv, LEncoderOptions& options);

// "44.1", "22.05", "44.100", "8" kHz to Hz; false for anything else or
// for rates outside 1 to 192 kHz.
bool ParseKilohertz(const char* text, int& hz);

// The usage lines for standard error.
void ReportEncoderUsage();
