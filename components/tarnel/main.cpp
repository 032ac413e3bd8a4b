// tarnel -o OUTPUT.wav INPUT.ogg
// Decodes an Ogg Vorbis file into a 16-bit PCM WAV file.
#include "common/decoderrun.h"
#include "tarnel/vorbisdecoder.h"

int main(int argc, char** argv)
{
  return RunDecoderMain("tarnel", argc, argv, false, DecodeVorbisFile);
}
