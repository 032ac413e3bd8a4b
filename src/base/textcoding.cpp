#include "base/textcoding.h"

#include "base/stringtools.h"
#include "base/stringwriters.h"

std::size_t LURIEncode(char* out, const char* text)
{
  LFixedLengthStringWriterTemplate writer(out, kPathSize);
  LURIEncodeToWriter(writer, text);
  return writer.GetLength();
}

std::size_t LURIDecodeDirect(char* out, const char* text)
{
  LFixedLengthStringWriterTemplate writer(out, kPathSize);
  LURIDecodeToWriterDirect(writer, text, "");
  return writer.GetLength();
}
