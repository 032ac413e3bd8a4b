#include "sound/mp3synth.h"

#include <cstring>

#include "sound/mp3simd.h"
#include "sound/mp3tables.h"

namespace {

// The 32 independent rows of the synthesis matrix (rows 0-15 and 48-63; the other rows follow from
// V[16] = 0, V[32 - i] = -V[i] and V[96 - i] = V[i]) transposed, so that one sub-band sample scales a
// whole row of outputs at once.
struct SynthRows {
  float byInput[32][32];  // [k][r]: r < 16 is matrix row r, r >= 16 is matrix row 32 + r

  SynthRows()
  {
    const MP3LookupTables& t = MP3LookupTables::Get();
    for (int k = 0; k < 32; k++)
      for (int r = 0; r < 32; r++)
        byInput[k][r] = t.synthMatrix[r < 16 ? r : 32 + r][k];
  }
};

const SynthRows& Rows()
{
  static const SynthRows rows;
  return rows;
}

inline int ToSample(float v)
{
  // Truncation toward zero; the clamp only keeps the conversion defined for absurd values from
  // damaged streams.
  if (v > 2147483520.0f)
    v = 2147483520.0f;
  if (v < -2147483520.0f)
    v = -2147483520.0f;
  return (int)v;
}

// The 64 matrixed values of one round from the sub-band samples x (only the first n nonzero).
void Matrix(const float* x, int n, float* v)
{
  const SynthRows& rows = Rows();
  // Eight named accumulators stay in registers; an array of them would live in memory.
  MP3Vec4 a0 = {}, a1 = {}, a2 = {}, a3 = {}, a4 = {}, a5 = {}, a6 = {}, a7 = {};
  for (int k = 0; k < n; k++) {
    MP3Vec4 xk = MP3Splat4(x[k]);
    const float* row = rows.byInput[k];
    a0 += MP3Load4(row) * xk;
    a1 += MP3Load4(row + 4) * xk;
    a2 += MP3Load4(row + 8) * xk;
    a3 += MP3Load4(row + 12) * xk;
    a4 += MP3Load4(row + 16) * xk;
    a5 += MP3Load4(row + 20) * xk;
    a6 += MP3Load4(row + 24) * xk;
    a7 += MP3Load4(row + 28) * xk;
  }
  float r[32];
  MP3Store4(r, a0);
  MP3Store4(r + 4, a1);
  MP3Store4(r + 8, a2);
  MP3Store4(r + 12, a3);
  MP3Store4(r + 16, a4);
  MP3Store4(r + 20, a5);
  MP3Store4(r + 24, a6);
  MP3Store4(r + 28, a7);
  for (int i = 0; i < 16; i++) {
    v[i] = r[i];
    v[48 + i] = r[16 + i];
  }
  v[16] = 0.0f;
  v[32] = -r[0];
  for (int i = 1; i < 16; i++) {
    v[32 - i] = -r[i];
    v[48 - i] = r[16 + i];
  }
}

// One round's 32 output samples from the newest 1024 matrixed values.
void Window(const float* v, const float* d, float* s)
{
  // Two passes of 16 outputs keep the accumulators in registers.
  for (int half = 0; half < 32; half += 16) {
    MP3Vec4 a0 = {}, a1 = {}, a2 = {}, a3 = {};
    for (int i = 0; i < 8; i++) {
      const float* v0 = v + 128 * i + half;
      const float* v1 = v0 + 96;
      const float* d0 = d + 64 * i + half;
      const float* d1 = d0 + 32;
      a0 += MP3Load4(d0) * MP3Load4(v0) + MP3Load4(d1) * MP3Load4(v1);
      a1 += MP3Load4(d0 + 4) * MP3Load4(v0 + 4) + MP3Load4(d1 + 4) * MP3Load4(v1 + 4);
      a2 += MP3Load4(d0 + 8) * MP3Load4(v0 + 8) + MP3Load4(d1 + 8) * MP3Load4(v1 + 8);
      a3 += MP3Load4(d0 + 12) * MP3Load4(v0 + 12) + MP3Load4(d1 + 12) * MP3Load4(v1 + 12);
    }
    MP3Store4(s + half, a0);
    MP3Store4(s + half + 4, a1);
    MP3Store4(s + half + 8, a2);
    MP3Store4(s + half + 12, a3);
  }
}

}  // namespace

void MP3PolyphaseSynth::Reset()
{
  offset_ = kResetOffset;
  for (int ch = 0; ch < 2; ch++)
    std::memset(history_[ch] + kResetOffset, 0, sizeof(float) * (kHistory - kResetOffset));
}

void MP3PolyphaseSynth::Synthesize(const float in[][18][32], int channels, int subbands, int* out)
{
  const MP3LookupTables& t = MP3LookupTables::Get();
  int n = subbands < 32 ? subbands : 32;
  for (int round = 0; round < 18; round++) {
    offset_ -= 64;
    if (offset_ < 0) {
      for (int ch = 0; ch < channels; ch++)
        std::memcpy(history_[ch] + 1024, history_[ch], sizeof(float) * 1024);
      offset_ = 960;
    }
    for (int ch = 0; ch < channels; ch++) {
      float* v = history_[ch] + offset_;
      Matrix(in[ch][round], n, v);
      float s[32];
      Window(v, t.synthWindow, s);
      int* o = out + round * 32 * channels + ch;
      for (int j = 0; j < 32; j++)
        o[j * channels] = ToSample(s[j]);
    }
  }
}
