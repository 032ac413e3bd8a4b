#include "sound/mp3synth.h"

#include <cstring>

#include "sound/mp3tables.h"

namespace {

inline float Dot(const float* a, const float* x, int n)
{
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    for (int k = 0; k < n; k += 4) {
        s0 += a[k] * x[k];
        s1 += a[k + 1] * x[k + 1];
        s2 += a[k + 2] * x[k + 2];
        s3 += a[k + 3] * x[k + 3];
    }
    return (s0 + s1) + (s2 + s3);
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

}  // namespace

void MP3PolyphaseSynth::Reset()
{
    mOffset = kResetOffset;
    for (int ch = 0; ch < 2; ch++)
        std::memset(mHistory[ch] + kResetOffset, 0, sizeof(float) * (kHistory - kResetOffset));
}

void MP3PolyphaseSynth::Synthesize(const float in[][18][32], int channels, int subbands, int* out)
{
    const MP3LookupTables& t = MP3LookupTables::Get();
    // The matrix rows are dotted with the sub-band samples in steps of 4; the samples beyond
    // `subbands` are 0, so rounding up is exact.
    int n = (subbands + 3) & ~3;
    if (n > 32)
        n = 32;
    for (int round = 0; round < 18; round++) {
        mOffset -= 64;
        if (mOffset < 0) {
            for (int ch = 0; ch < channels; ch++)
                std::memcpy(mHistory[ch] + 1024, mHistory[ch], sizeof(float) * 1024);
            mOffset = 960;
        }
        for (int ch = 0; ch < channels; ch++) {
            const float* x = in[ch][round];
            float* v = mHistory[ch] + mOffset;
            // Of the 64 matrixed values only rows 0-15 and 48-63 are independent: V[16] = 0,
            // V[32 - i] = -V[i] and V[96 - i] = V[i].
            for (int i = 0; i < 16; i++) {
                float a = n ? Dot(t.synthMatrix[i], x, n) : 0.0f;
                float b = n ? Dot(t.synthMatrix[48 + i], x, n) : 0.0f;
                v[i] = a;
                v[48 + i] = b;
                if (i) {
                    v[32 - i] = -a;
                    v[48 - i] = b;
                } else {
                    v[16] = 0.0f;
                    v[32] = -a;
                }
            }
            const float* d = t.synthWindow;
            float s[32];
            for (int j = 0; j < 32; j++)
                s[j] = 0.0f;
            for (int i = 0; i < 8; i++) {
                const float* v0 = v + 128 * i;
                const float* v1 = v0 + 96;
                const float* d0 = d + 64 * i;
                const float* d1 = d0 + 32;
                for (int j = 0; j < 32; j++)
                    s[j] += d0[j] * v0[j] + d1[j] * v1[j];
            }
            int* o = out + round * 32 * channels + ch;
            for (int j = 0; j < 32; j++)
                o[j * channels] = ToSample(s[j]);
        }
    }
}
