#pragma once

// Shared by the MP3 decoder tests: a temporary corpus made with the real encoders (lame, ffmpeg), the
// reference decoder (libmpg123, 16-bit output) and the comparison of two decodes.

#include <mpg123.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace mp3test {

inline std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::vector<unsigned char> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return data;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

inline bool WriteAll(const std::string& path, const std::vector<unsigned char>& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = data.empty() || fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

// A temporary folder removed with its files at the end.
class TempDir
{
public:
    TempDir()
    {
        char tmpl[] = "/tmp/mp3testXXXXXX";
        const char* p = mkdtemp(tmpl);
        mPath = p ? p : "";
    }
    ~TempDir()
    {
        if (!mPath.empty())
            (void)!system(("rm -rf '" + mPath + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return mPath; }
    std::string File(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// Test programme: tones, a slow sweep, noise and sharp attacks (the attacks make the encoder switch to
// short blocks). Loud enough that the reference's 16-bit rounding stays far below the 80 dB mark.
inline void WriteTestWav(const std::string& path, int rate, int channels, double seconds)
{
    int frames = (int)(rate * seconds);
    std::vector<int16_t> pcm((size_t)frames * channels);
    uint32_t noise = 12345;
    const double pi = 3.14159265358979323846;
    double sweepPhase = 0.0;
    for (int i = 0; i < frames; i++) {
        double t = (double)i / rate;
        double sweepFreq = 100.0 + 1900.0 * (t / seconds);
        sweepPhase += 2.0 * pi * sweepFreq / rate;
        double attack = std::fmod(t, 0.37);
        double burst = attack < 0.02 ? std::exp(-attack * 150.0) : 0.0;
        for (int c = 0; c < channels; c++) {
            noise = noise * 1664525u + 1013904223u;
            double n = ((noise >> 8) / 16777216.0 - 0.5);
            double v = 0.22 * std::sin(2 * pi * (c ? 220.0 : 330.0) * t) + 0.14 * std::sin(2 * pi * 523.25 * t)
                       + 0.10 * std::sin(sweepPhase + c) + 0.05 * std::sin(2 * pi * 1250.0 * t) + 0.03 * n
                       + 0.35 * burst * n * 2.0;
            pcm[(size_t)i * channels + c] = (int16_t)std::lrint(v * 32767.0);
        }
    }
    std::vector<unsigned char> file(44);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
    std::memcpy(&file[0], "RIFF", 4);
    put32(4, (uint32_t)(36 + pcm.size() * 2));
    std::memcpy(&file[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, (uint16_t)channels);
    put32(24, (uint32_t)rate);
    put32(28, (uint32_t)(rate * channels * 2));
    put16(32, (uint16_t)(channels * 2));
    put16(34, 16);
    std::memcpy(&file[36], "data", 4);
    put32(40, (uint32_t)(pcm.size() * 2));
    const unsigned char* b = reinterpret_cast<const unsigned char*>(pcm.data());
    file.insert(file.end(), b, b + pcm.size() * 2);
    WriteAll(path, file);
}

inline bool Run(const std::string& command)
{
    return system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Decoded audio: interleaved samples at a rate with a channel count.
struct Pcm
{
    int rate = 0;
    int channels = 0;
    std::vector<int> samples;  // 16-bit values for the reference; internal scale (× 16) for ours
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

class Mpg123Handle
{
public:
    Mpg123Handle() { mHandle = mpg123_new(nullptr, nullptr); }
    ~Mpg123Handle()
    {
        if (mHandle) {
            mpg123_close(mHandle);
            mpg123_delete(mHandle);
        }
    }
    Mpg123Handle(const Mpg123Handle&) = delete;
    Mpg123Handle& operator=(const Mpg123Handle&) = delete;
    mpg123_handle* Get() const { return mHandle; }

private:
    mpg123_handle* mHandle = nullptr;
};

// The reference decode: every frame libmpg123 outputs, without gapless trimming.
inline Pcm ReferenceDecode(const std::string& path)
{
    Pcm pcm;
    Mpg123Handle h;
    if (!h.Get())
        return pcm;
    mpg123_param(h.Get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_param(h.Get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(h.Get(), MPG123_RESYNC_LIMIT, -1, 0.0);
    mpg123_format_none(h.Get());
    static const long rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    for (long r : rates)
        mpg123_format(h.Get(), r, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(h.Get(), path.c_str()) != MPG123_OK)
        return pcm;
    std::vector<unsigned char> buf(65536);
    for (;;) {
        size_t done = 0;
        int err = mpg123_read(h.Get(), buf.data(), buf.size(), &done);
        if (err == MPG123_NEW_FORMAT) {
            long rate;
            int channels, enc;
            mpg123_getformat(h.Get(), &rate, &channels, &enc);
            pcm.rate = (int)rate;
            pcm.channels = channels;
        }
        const int16_t* s = reinterpret_cast<const int16_t*>(buf.data());
        for (size_t i = 0; i < done / 2; i++)
            pcm.samples.push_back(s[i]);
        if (err != MPG123_OK && err != MPG123_NEW_FORMAT)
            break;
    }
    return pcm;
}

struct Comparison
{
    double snr = -1000.0;  // dB, at the best alignment
    long lag = 0;           // frames our decode runs ahead of the reference
};

// SNR of our decode (internal scale) against the reference (16-bit), at the best of the alignments
// that are whole multiples of `step` frames within ± maxSteps steps: the decoders may differ by whole
// MP3 frames at the start (an information frame decoded as silence).
inline Comparison Compare(const Pcm& ours, const Pcm& ref, int step, int maxSteps = 2)
{
    Comparison best;
    if (ours.channels != ref.channels || ref.channels == 0)
        return best;
    int ch = ref.channels;
    for (int k = -maxSteps; k <= maxSteps; k++) {
        long lag = (long)k * step;
        double signal = 0.0, error = 0.0;
        long n = 0;
        for (size_t f = 0; f < ref.Frames(); f++) {
            long o = (long)f + lag;
            if (o < 0 || (size_t)o >= ours.Frames())
                continue;
            for (int c = 0; c < ch; c++) {
                double r = ref.samples[f * ch + c];
                double d = ours.samples[(size_t)o * ch + c] / 16.0 - r;
                signal += r * r;
                error += d * d;
            }
            n++;
        }
        if (n < (long)ref.Frames() / 2 || signal <= 0.0)
            continue;
        double snr = error > 0.0 ? 10.0 * std::log10(signal / error) : 200.0;
        if (snr > best.snr) {
            best.snr = snr;
            best.lag = lag;
        }
    }
    return best;
}

}  // namespace mp3test
