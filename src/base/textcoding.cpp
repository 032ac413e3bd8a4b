#include "base/textcoding.h"

#include <cstring>

#include "base/stringtools.h"
#include "base/stringwriters.h"

std::size_t LBase64Encode(char* out, const char* text)
{
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  std::size_t left = std::strlen(text);
  std::size_t length = 0;
  for (; left > 0 && length + 4 < kPathSize; in += 3) {
    const std::size_t take = left < 3 ? left : 3;
    const unsigned int group = (in[0] << 16) | (take > 1 ? in[1] << 8 : 0) | (take > 2 ? in[2] : 0);
    out[length++] = kDigits[(group >> 18) & 63];
    out[length++] = kDigits[(group >> 12) & 63];
    out[length++] = take > 1 ? kDigits[(group >> 6) & 63] : '=';
    out[length++] = take > 2 ? kDigits[group & 63] : '=';
    left -= take;
  }
  out[length] = 0;
  return length;
}

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
