#include "sound/mp3maindata.h"

#include <cstring>

bool MP3MainData::Load(int mainDataBegin, const unsigned char* data, int length)
{
  bool complete = mainDataBegin <= held;
  int keep = complete ? mainDataBegin : held;
  if (keep > 0 && keep < held)
    std::memmove(buffer, buffer + (held - keep), keep);
  if (length > kSize - keep)
    length = kSize - keep;
  if (length > 0)
    std::memcpy(buffer + keep, data, length);
  held = (unsigned short)(keep + (length > 0 ? length : 0));
  std::memset(buffer + held, 0, 4);
  bitPos = 0;
  return complete;
}
