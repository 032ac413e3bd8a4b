// wendrik -d -o OUTPUT.wav INPUT.flac
// Decodes a FLAC file into a 16-bit PCM WAV file.
#include "common/decoderrun.h"
#include "wendrik/flacdecoder.h"

int main(int argc, char** argv)
{
  return RunDecoderMain("wendrik", argc, argv, true, DecodeFlacFile);
}
