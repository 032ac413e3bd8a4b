#pragma once

// For the MP3 stage tests: a bit writer that builds Layer III frames by hand, and the standard's
// equations for the stages after requantisation, evaluated literally in double precision (no fast
// transforms, no tables shared with the decoder except the synthesis window coefficients).

#include <cmath>
#include <cstring>
#include <vector>

#include "sound/mp3tables.h"

namespace mp3ref {

const double kPi = 3.14159265358979323846;

class BitWriter
{
public:
    void Put(unsigned value, int bits)
    {
        for (int i = bits - 1; i >= 0; i--) {
            if (mBits % 8 == 0)
                mBytes.push_back(0);
            if ((value >> i) & 1)
                mBytes.back() |= (unsigned char)(0x80 >> (mBits % 8));
            mBits++;
        }
    }
    int Bits() const { return mBits; }
    std::vector<unsigned char> Bytes(size_t size) const
    {
        std::vector<unsigned char> b = mBytes;
        b.resize(size > b.size() ? size : b.size(), 0);
        return b;
    }

private:
    std::vector<unsigned char> mBytes;
    int mBits = 0;
};

// Writes lines[0..576) (values -1, 0 or 1) as count1 quadruples with table B (the code of a quadruple
// is its four magnitude bits inverted, then one sign bit per nonzero value), up to the last nonzero
// line. Returns the bits written.
inline int PutCount1(BitWriter& w, const int* lines)
{
    int last = -1;
    for (int i = 0; i < 576; i++)
        if (lines[i])
            last = i;
    int start = w.Bits();
    for (int q = 0; q * 4 <= last; q++) {
        unsigned bits = 0;
        for (int k = 0; k < 4; k++)
            bits = bits << 1 | (lines[q * 4 + k] ? 1u : 0u);
        w.Put(~bits & 15u, 4);
        for (int k = 0; k < 4; k++)
            if (lines[q * 4 + k])
                w.Put(lines[q * 4 + k] < 0 ? 1 : 0, 1);
    }
    return w.Bits() - start;
}

// The synthesis window of the standard (D[0..511]).
inline double Window(int i)
{
    return MP3LookupTables::Get().synthWindow[i];
}

// Alias reduction of the standard on xr (IMDCT order), across `boundaries` sub-band boundaries
// starting at the first.
inline void Alias(double* xr, int boundaries)
{
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int sb = 1; sb <= boundaries; sb++)
        for (int i = 0; i < 8; i++) {
            double cs = 1.0 / std::sqrt(1.0 + c[i] * c[i]);
            double ca = c[i] / std::sqrt(1.0 + c[i] * c[i]);
            double a = xr[18 * sb - 1 - i];
            double b = xr[18 * sb + i];
            xr[18 * sb - 1 - i] = a * cs - b * ca;
            xr[18 * sb + i] = b * cs + a * ca;
        }
}

inline double LongWindow(int type, int i)
{
    auto s36 = [](int n) { return std::sin(kPi / 36 * (n + 0.5)); };
    auto s12 = [](int n) { return std::sin(kPi / 12 * (n + 0.5)); };
    switch (type) {
    case 1:
        return i < 18 ? s36(i) : i < 24 ? 1.0 : i < 30 ? s12(i - 18) : 0.0;
    case 3:
        return i < 6 ? 0.0 : i < 12 ? s12(i - 6) : i < 18 ? 1.0 : s36(i);
    default:
        return s36(i);
    }
}

// IMDCT of one sub-band (18 inputs in IMDCT order) to 36 windowed outputs.
inline void Imdct(const double* X, int type, bool shortBlock, double* z)
{
    for (int i = 0; i < 36; i++)
        z[i] = 0.0;
    if (!shortBlock) {
        for (int i = 0; i < 36; i++) {
            double s = 0.0;
            for (int k = 0; k < 18; k++)
                s += X[k] * std::cos(kPi / 72 * (2 * i + 1 + 18) * (2 * k + 1));
            z[i] = s * LongWindow(type, i);
        }
        return;
    }
    for (int w = 0; w < 3; w++)
        for (int i = 0; i < 12; i++) {
            double s = 0.0;
            for (int k = 0; k < 6; k++)
                s += X[3 * k + w] * std::cos(kPi / 24 * (2 * i + 1 + 6) * (2 * k + 1));
            z[6 + 6 * w + i] += s * std::sin(kPi / 12 * (i + 0.5));
        }
}

// The decoder state of one channel after requantisation and stereo processing.
struct Channel
{
    double overlap[32][18] = {};
    double v[1024] = {};

    // One granule: xr in IMDCT order; block type per sub-band given by `shortFrom` (sub-bands from it
    // on are short blocks) and `longType` (the window of the long sub-bands). Appends 576 samples in
    // the internal scale.
    void Granule(double* xr, int aliasBoundaries, int longType, int shortFrom, std::vector<double>& out)
    {
        Alias(xr, aliasBoundaries);
        double sub[18][32];
        for (int sb = 0; sb < 32; sb++) {
            double z[36];
            Imdct(xr + 18 * sb, longType, sb >= shortFrom, z);
            for (int i = 0; i < 18; i++) {
                double s = z[i] + overlap[sb][i];
                overlap[sb][i] = z[i + 18];
                if ((sb & 1) && (i & 1))
                    s = -s;
                sub[i][sb] = s;
            }
        }
        for (int t = 0; t < 18; t++) {
            std::memmove(v + 64, v, sizeof(double) * 960);
            for (int i = 0; i < 64; i++) {
                double s = 0.0;
                for (int k = 0; k < 32; k++)
                    s += std::cos((16 + i) * (2 * k + 1) * kPi / 64) * sub[t][k];
                v[i] = s;
            }
            double u[512];
            for (int i = 0; i < 8; i++)
                for (int j = 0; j < 32; j++) {
                    u[i * 64 + j] = v[i * 128 + j];
                    u[i * 64 + 32 + j] = v[i * 128 + 96 + j];
                }
            for (int j = 0; j < 32; j++) {
                double s = 0.0;
                for (int i = 0; i < 16; i++)
                    s += u[j + 32 * i] * Window(j + 32 * i);
                out.push_back(s * 524288.0);
            }
        }
    }
};

}  // namespace mp3ref
