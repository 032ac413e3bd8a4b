#pragma once

#include <cstring>

// Four floats processed together (GCC and Clang vector extension). Loads and stores go through
// memcpy, so no alignment is assumed.
typedef float MP3Vec4 __attribute__((vector_size(16)));

inline MP3Vec4 MP3Load4(const float* p)
{
  MP3Vec4 v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

inline void MP3Store4(float* p, MP3Vec4 v)
{
  std::memcpy(p, &v, sizeof(v));
}

inline MP3Vec4 MP3Splat4(float f)
{
  return MP3Vec4{f, f, f, f};
}
