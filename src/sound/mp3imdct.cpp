#include "sound/mp3imdct.h"

#include <cmath>
#include <cstring>

#include "sound/mp3sideinfo.h"
#include "sound/mp3simd.h"

namespace {

// The 36-point IMDCT x[i] = Σ X[k] cos(π/72 (2i + 19)(2k + 1)) is the 18-point DCT-IV
// Y[n] = Σ X[k] cos(π/72 (2n + 1)(2k + 1)) read at n = i + 9 and extended by its symmetries
// Y[35 - n] = -Y[n] and Y[n + 36] = -Y[n]; only the DCT-IV is computed.
struct ImdctTables {
  float dct18[18][20];      // [k][n], padded rows
  float longWindow[4][36];  // by block type; type 2 unused
  float shortCos[6][12];    // [k][i]: cos(π/24 (2i + 7)(2k + 1))
  float shortWindow[12];
  float aliasCs[8];
  float aliasCa[8];

  ImdctTables()
  {
    const double pi = 3.14159265358979323846;
    std::memset(dct18, 0, sizeof(dct18));
    for (int k = 0; k < 18; k++)
      for (int n = 0; n < 18; n++)
        dct18[k][n] = (float)std::cos(pi / 72.0 * (2 * n + 1) * (2 * k + 1));
    for (int i = 0; i < 36; i++) {
      longWindow[0][i] = (float)std::sin(pi / 36.0 * (i + 0.5));
      longWindow[2][i] = 0.0f;
    }
    for (int i = 0; i < 36; i++) {
      // Start window: long rising half, flat, short falling half, zeros. Stop window: mirrored.
      double start;
      if (i < 18)
        start = std::sin(pi / 36.0 * (i + 0.5));
      else if (i < 24)
        start = 1.0;
      else if (i < 30)
        start = std::sin(pi / 12.0 * (i - 18 + 0.5));
      else
        start = 0.0;
      longWindow[1][i] = (float)start;
      longWindow[3][35 - i] = (float)start;
    }
    for (int k = 0; k < 6; k++)
      for (int i = 0; i < 12; i++)
        shortCos[k][i] = (float)std::cos(pi / 24.0 * (2 * i + 7) * (2 * k + 1));
    for (int i = 0; i < 12; i++)
      shortWindow[i] = (float)std::sin(pi / 12.0 * (i + 0.5));
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; i++) {
      double d = std::sqrt(1.0 + c[i] * c[i]);
      aliasCs[i] = (float)(1.0 / d);
      aliasCa[i] = (float)(c[i] / d);
    }
  }
};

const ImdctTables& Tables()
{
  static const ImdctTables tables;
  return tables;
}

void LongBlock(const ImdctTables& t, const float* in, const float* window, float* overlap, float z[18])
{
  // Named accumulators stay in registers.
  MP3Vec4 a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {};
  for (int k = 0; k < 18; k++) {
    MP3Vec4 x = MP3Splat4(in[k]);
    const float* c = t.dct18[k];
    a0 += MP3Load4(c) * x;
    a1 += MP3Load4(c + 4) * x;
    a2 += MP3Load4(c + 8) * x;
    a3 += MP3Load4(c + 12) * x;
    a4 += MP3Load4(c + 16) * x;
  }
  float y[20];
  MP3Store4(y, a0);
  MP3Store4(y + 4, a1);
  MP3Store4(y + 8, a2);
  MP3Store4(y + 12, a3);
  MP3Store4(y + 16, a4);
  for (int i = 0; i < 9; i++) {
    z[i] = overlap[i] + y[i + 9] * window[i];
    z[i + 9] = overlap[i + 9] - y[17 - i] * window[i + 9];
    overlap[i] = -y[8 - i] * window[i + 18];
    overlap[i + 9] = -y[i] * window[i + 27];
  }
}

void ShortBlock(const ImdctTables& t, const float* in, float* overlap, float z[18])
{
  float x[36] = {};
  for (int w = 0; w < 3; w++) {
    for (int i = 0; i < 12; i++) {
      float s = 0.0f;
      for (int k = 0; k < 6; k++)
        s += in[3 * k + w] * t.shortCos[k][i];
      x[6 + 6 * w + i] += s * t.shortWindow[i];
    }
  }
  for (int i = 0; i < 18; i++) {
    z[i] = overlap[i] + x[i];
    overlap[i] = x[i + 18];
  }
}

}  // namespace

int AliasReduction(float xr[576], const MP3GranuleInfo& g, int subbands)
{
  if ((g.IsShort() && !g.mixedBlock) || subbands <= 0)
    return subbands;
  const ImdctTables& t = Tables();
  int last = g.IsShort() ? 2 : (subbands < 31 ? subbands + 1 : 32);
  if (last > 32)
    last = 32;
  for (int sb = 1; sb < last; sb++) {
    float* lo = xr + sb * 18 - 1;
    float* hi = xr + sb * 18;
    for (int i = 0; i < 8; i++) {
      float a = lo[-i];
      float b = hi[i];
      lo[-i] = a * t.aliasCs[i] - b * t.aliasCa[i];
      hi[i] = b * t.aliasCs[i] + a * t.aliasCa[i];
    }
  }
  return last > subbands ? last : subbands;
}

void IMDCTSynthesize(const float xr[576], const MP3GranuleInfo& g, int subbands, float overlap[32][18],
                     float out[18][32])
{
  const ImdctTables& t = Tables();
  if (subbands > 32)
    subbands = 32;
  int type = g.windowSwitching ? (g.blockType & 3) : 0;
  for (int sb = 0; sb < 32; sb++) {
    float z[18];
    if (sb >= subbands) {
      // Nothing new in this sub-band: only the previous granule's tail comes out.
      for (int i = 0; i < 18; i++)
        z[i] = overlap[sb][i];
      std::memset(overlap[sb], 0, sizeof(overlap[sb]));
    } else if (type == 2 && !(g.mixedBlock && sb < 2)) {
      ShortBlock(t, xr + sb * 18, overlap[sb], z);
    } else {
      LongBlock(t, xr + sb * 18, t.longWindow[type == 2 ? 0 : type], overlap[sb], z);
    }
    if (sb & 1)
      for (int i = 1; i < 18; i += 2)
        z[i] = -z[i];
    for (int i = 0; i < 18; i++)
      out[i][sb] = z[i];
  }
}
