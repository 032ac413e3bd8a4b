#include <gtest/gtest.h>

#include <algorithm>

#include "settings/settings.h"
#include "sound/aiff.h"
#include "sound/au.h"
#include "sound/dct.h"
#include "sound/formaterrors.h"
#include "sound/gsm.h"
#include "sound/moh.h"
#include "sound/pcdart.h"
#include "sound/raw.h"
#include "sound/soxfiles.h"
#include "sound/wav.h"

using namespace soxtest;

namespace {

using Opener = LSoundSource (*)(const char*);

LSoundSource OpenVox(const char* path)
{
  return LRawFile::OpenSourceADPCM(path, 8000, 1);
}

LSoundSource OpenMoh(const char* path)
{
  return LMOHSource::OpenSource(path, "/tmp");
}

template <int codec>
LSoundSource OpenRaw(const char* path)
{
  LRawSettings settings;
  settings.sampleRate = 16000;
  settings.channels = 2;
  settings.codec = codec;
  return LRawFile::OpenSource(path, settings);
}

const std::vector<std::string> kNoise = {"synth", "0.5", "whitenoise", "vol", "0.9"};
const std::vector<std::string> kSpeech = {"synth", "2",     "sine", "300-3000", "sine",
                                          "440",   "remix", "1,2",  "vol",      "0.4"};

std::vector<std::string> RawIn(std::vector<std::string> coding)
{
  coding.insert(coding.begin(), {"-t", "raw", "-r", "16000", "-c", "2"});
  return coding;
}

struct SoxCase {
  const char* file = nullptr;  // its extension tells sox the container
  std::vector<std::string> make = {};
  Opener open = nullptr;
  unsigned char error = 0;           // a file the reader refuses
  std::vector<std::string> in = {};  // sox's input options for headerless files (raw: `make`)
  int peak = 0;                      // 0: not checked
  int tolerance = 0;                 // internal units; 0 = bit-exact
  double minSnr = 0;                 // lossy codings: SNR against sox's decoding
  double gain = 1;                   // of sox's decoding before the SNR
  const std::vector<std::string>* signal = &kNoise;
};

std::string Ramp16(int count, int from = 1)
{
  std::string b;
  for (int i = 0; i < count; ++i) {
    b += LE(static_cast<uint16_t>(from + i), 2);
  }
  return b;
}

struct WavLayout {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 8000;
  uint16_t bits = 16;
  uint32_t fmtSize = 16;
  std::string before = {};   // bytes before "RIFF"
  std::string between = {};  // chunks between "fmt " and "data"
  std::string data = Ramp16(4);
  int64_t dataSize = -1;  // -1: the size of `data`
};

std::string Wav(const WavLayout& s)
{
  const int bytes = (s.bits + 7) / 8;
  std::string fmt = LE(s.tag, 2) + LE(s.channels, 2) + LE(s.rate, 4) + LE(s.rate * s.channels * bytes, 4) +
                    LE(s.channels * bytes, 2) + LE(s.bits, 2);
  fmt.resize(s.fmtSize + s.fmtSize % 2, 0);
  return s.before + "RIFF" + LE(0, 4) + "WAVEfmt " + LE(s.fmtSize, 4) + fmt + s.between + "data" +
         LE(static_cast<uint32_t>(s.dataSize < 0 ? static_cast<int64_t>(s.data.size()) : s.dataSize), 4) + s.data;
}

std::string Chunk(const std::string& id, const std::string& body, int64_t size = -1, bool bigEndian = true)
{
  uint32_t n = static_cast<uint32_t>(size < 0 ? static_cast<int64_t>(body.size()) : size);
  return id + (bigEndian ? BE(n, 4) : LE(n, 4)) + body + (body.size() % 2 != 0 ? std::string(1, '\0') : "");
}

std::string Aiff(const std::string& chunks, const char* type = "AIFF")
{
  return Chunk("FORM", type + chunks);
}

// COMM body: channels, no frame count, bits and the 80-bit rate (8000 Hz).
std::string Comm(uint16_t channels, uint16_t bits, uint16_t exponent = 0x400B, uint32_t mantissa = 0xFA000000)
{
  return BE(channels, 2) + BE(0, 4) + BE(bits, 2) + BE(exponent, 2) + BE(mantissa, 4) + BE(0, 4);
}

std::string Ssnd(const std::string& samples)
{
  return Chunk("SSND", std::string(8, '\0') + samples);
}

std::string Au(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t rate = 8000, uint32_t channels = 1)
{
  return ".snd" + BE(offset, 4) + BE(size, 4) + BE(encoding, 4) + BE(rate, 4) + BE(channels, 4);
}

std::string Compress(const std::vector<int>& residuals, int width)
{
  std::string b;
  int bits = 0;
  auto put = [&](uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i, ++bits) {
      b.resize(static_cast<size_t>(bits / 8 + 1));
      b.back() = static_cast<char>(b.back() | (((value >> i) & 1) << (7 - bits % 8)));
    }
  };
  for (size_t i = 0; i < residuals.size(); ++i) {
    if (i % 8 == 0) {
      put(static_cast<uint32_t>(width), 4);
    }
    if (width > 0) {
      put(static_cast<uint32_t>(residuals[i] + (1 << (width - 1))), width);
    }
  }
  return b;
}

struct Segment {
  int32_t count;
  std::string data;   // compressed, without the checksum
  int checksum = -1;  // -1: the right one; -2: none
};

std::string Moh(const std::vector<Segment>& segments, uint32_t skip = 5)
{
  std::string b =
      LE(0x484F4D00, 4) + LE(skip, 4) + std::string(16, '\x11') + std::string(std::min(skip, 100000u), '\xEE');
  for (const Segment& s : segments) {
    unsigned char sum = 0x7D;
    for (char c : s.data) {
      sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
    }
    b += LE(1, 4) + LE(static_cast<uint32_t>(s.count), 4) + LE(0, 4) + s.data;
    if (s.checksum != -2) {
      b.push_back(static_cast<char>(s.checksum == -1 ? sum : s.checksum));
    }
  }
  return b;
}

struct MadeCase {
  const char* what = nullptr;
  Opener open = nullptr;
  std::string bytes = {};
  unsigned char error = 0;
  std::vector<int> samples = {};  // what reading from the start gives (a prefix)
  int end = -1;                   // -1: not checked
};

}  // namespace

TEST(SoundFiles, SoxFilesDecodeAsSoxDecodesThem)
{
  const std::vector<std::string> kMono8k = {"-r", "8000", "-c", "1"};
  const std::vector<std::string> kF32 = {"-r", "8000", "-c", "1", "-e", "floating-point", "-b", "32"};
  const SoxCase cases[] = {
      {"s16.wav", {"-r", "22050", "-c", "2", "-b", "16"}, LWaveFile::OpenSource, 0, {}, 0x7FFF0},
      {"u8.wav", {"-r", "8000", "-c", "1", "-b", "8", "-e", "unsigned-integer"}, LWaveFile::OpenSource},
      {"b24.wav", {"-r", "8000", "-c", "1", "-b", "24"}, LWaveFile::OpenSource, kFileErrorEncoding},
      {"f32.wav", kF32, LWaveFile::OpenSource, kFileErrorEncoding},
      {"s16.aiff", {"-r", "44100", "-c", "2", "-b", "16"}, LAifFile::OpenSource},
      {"s8.aiff", {"-r", "11025", "-c", "1", "-b", "8"}, LAifFile::OpenSource},
      {"r96.aiff", {"-r", "96000", "-c", "1", "-b", "16"}, LAifFile::OpenSource},
      {"a24.aiff", {"-r", "8000", "-c", "1", "-b", "24"}, LAifFile::OpenSource, kFileErrorEncoding},
      {"ulaw.au", {"-r", "8000", "-c", "1", "-e", "u-law"}, LAuFile::OpenSource},
      {"alaw.au", {"-r", "8000", "-c", "2", "-e", "a-law"}, LAuFile::OpenSource},
      {"s8.au", {"-r", "22050", "-c", "1", "-e", "signed-integer", "-b", "8"}, LAuFile::OpenSource},
      {"s16.au", {"-r", "16000", "-c", "2", "-e", "signed-integer", "-b", "16"}, LAuFile::OpenSource},
      {"f32.au", kF32, LAuFile::OpenSource, kFileErrorEncoding},
      {"c1.raw", RawIn({"-e", "u-law", "-b", "8"}), OpenRaw<1>},
      {"c2.raw", RawIn({"-e", "a-law", "-b", "8"}), OpenRaw<2>},
      {"c3.raw", RawIn({"-e", "signed-integer", "-b", "16", "-L"}), OpenRaw<3>},
      {"c4.raw", RawIn({"-e", "unsigned-integer", "-b", "8"}), OpenRaw<4>},
      {"c5.raw", RawIn({"-e", "signed-integer", "-b", "8"}), OpenRaw<5>},
      {"c6.raw", RawIn({"-e", "signed-integer", "-b", "16", "-B"}), OpenRaw<6>},
      // Floats: truncated here, rounded by sox; big-endian scaled by 524272: two 16-bit steps either way.
      {"c7.raw", RawIn({"-e", "floating-point", "-b", "32", "-L"}), OpenRaw<7>, 0, {}, 0, 32},
      {"c8.raw", RawIn({"-e", "floating-point", "-b", "32", "-B"}), OpenRaw<8>, 0, {}, 0, 32},
      // The ADPCM steps are half of sox's and the predictor leaks 1/64 per sample where sox's holds.
      {"speech.vox", kMono8k, OpenVox, 0, {"-t", "vox", "-r", "8000"}, 0x200000, 0, 25, 0.5, &kSpeech},
      // The output stage has its own de-emphasis pole and no cut to 13 bits.
      {"speech.gsm", kMono8k, LGSMFile::OpenSource, 0, {}, 0xFFFE0, 0, 45, 1, &kSpeech},
  };
  TempDir dir;
  for (const SoxCase& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = dir / c.file;
    std::vector<std::string> args = {"-n"};
    args.insert(args.end(), c.make.begin(), c.make.end());
    args.push_back(path);
    args.insert(args.end(), c.signal->begin(), c.signal->end());
    Sox(args);
    EXPECT_EQ(c.open((dir / "missing").c_str()).GetErrorCode(), kFileErrorOpen);
    LSoundSource s = c.open(path.c_str());
    if (c.error != 0) {
      EXPECT_EQ(s.GetErrorCode(), c.error);
      continue;
    }
    ASSERT_TRUE(s.IsOpen()) << int(s.GetErrorCode());
    const int ch = s.GetChannels();
    auto option = [&](const char* flag) { return std::stoi(*(std::find(c.make.begin(), c.make.end(), flag) + 1)); };
    EXPECT_EQ(s.GetSampleRate(), option("-r"));
    EXPECT_EQ(ch, option("-c"));
    if (c.peak != 0) {
      EXPECT_EQ(s.GetPeak(), c.peak);
    }
    std::vector<int> ours = ReadAll(s, 999);  // odd reads: ADPCM nibbles split across them
    std::vector<int> sox = SoxDecode(dir, std::string(c.file).ends_with(".raw") ? c.make : c.in, path);
    ASSERT_EQ(ours.size(), sox.size());
    EXPECT_EQ(s.GetEndSample() * ch, static_cast<int>(sox.size()));
    if (c.minSnr > 0) {
      double snr = SnrDb(sox, ours, c.gain);
      std::printf("%s: SNR %.1f dB against sox's decoding\n", c.file, snr);
      EXPECT_GT(snr, c.minSnr);
    } else {
      int worst = 0;
      for (size_t i = 0; i < ours.size(); ++i) {
        worst = std::max(worst, std::abs(ours[i] - sox[i]));
      }
      EXPECT_LE(worst, c.tolerance);
    }
    std::vector<int> buffer(100 * ch, -1);
    s.Seek(0);
    s.Read(buffer.data(), 5);
    s.Seek(-40);
    EXPECT_EQ(s.Read(buffer.data(), 100), 100);
    EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.begin() + 40 * ch), std::vector<int>(40 * ch, 0));
    EXPECT_EQ(std::vector<int>(buffer.begin() + 40 * ch, buffer.end()),
              std::vector<int>(ours.begin(), ours.begin() + 60 * ch));
    // Across the end: the frames before it, then silence; far beyond it (no overflow of positions) nothing.
    s.Seek(s.GetEndSample() - 5);
    std::fill(buffer.begin(), buffer.end(), -1);
    EXPECT_EQ(s.Read(buffer.data(), 100), 5);
    EXPECT_EQ(buffer.back(), 0);
    EXPECT_EQ(s.Read(buffer.data(), 100), 0);
    s.Seek(INT32_MAX - 10);
    EXPECT_EQ(s.Read(buffer.data(), 100), 0);
  }
}

TEST(SoundFiles, HandMadeFiles)
{
  const std::vector<int> ramp = {16, 32, 48, 64};
  const int k7 = 16 * 15 * 16;  // ADPCM code 7 from a fresh decoder
  const std::string twelve = LE(0x7FF0, 2) + LE(0x8000, 2) + LE(0x0010, 2) + LE(0xFFF0, 2);
  const std::string twelveBE = BE(0x7FF0, 2) + BE(0x8000, 2) + BE(0x0010, 2) + BE(0xFFF0, 2);
  const std::vector<int> twelveOut = {0x7FF0 * 16, -0x8000 * 16, 256, -256};
  const std::string comm = Chunk("COMM", Comm(1, 16)), data = Ssnd("\1\2\3\4");
  const std::vector<int> r64(64, 3);
  std::string cut = Moh({Segment{64, Compress(r64, 4)}, Segment{64, Compress(r64, 4)}});
  cut.resize(cut.size() - 10);
  const std::string many = Moh(std::vector<Segment>(1000, Segment{1, Compress({1}, 2)}));
  const Opener wav = LWaveFile::OpenSource, aiff = LAifFile::OpenSource, au = LAuFile::OpenSource;
  const Opener gsm = LGSMFile::OpenSource, moh = OpenMoh;
  const MadeCase cases[] = {
      {"wav: chunks before the wave form", wav, Wav({.before = "JUNK" + LE(5, 4) + "abcdx" + '\0'}), 0, ramp},
      {"wav: a foreign header too small", wav, Wav({.before = "JUNK" + LE(3, 4) + "abcd"}), kFileErrorCorrupt, {}},
      {"wav: chunks between", wav,
       Wav({.between = Chunk("LIST", "abc", -1, false) + Chunk("fact", LE(3, 4), -1, false)}), 0, ramp, 4},
      {"wav: odd format chunk", wav, Wav({.fmtSize = 19}), 0, ramp, 4},
      {"wav: format chunk 8192", wav, Wav({.fmtSize = 8192}), 0, ramp, 4},
      {"wav: format chunk 15", wav, Wav({.fmtSize = 15}), kFileErrorCorrupt, {}},
      {"wav: format chunk 8193", wav, Wav({.fmtSize = 8193}), kFileErrorCorrupt, {}},
      {"wav: huge chunk", wav, Wav({.between = "LIST" + LE(0x80000000u, 4)}), kFileErrorCorrupt, {}},
      {"wav: chunk of all bits", wav, Wav({.between = "LIST" + LE(0xFFFFFFFFu, 4)}), kFileErrorCorrupt, {}},
      {"wav: 1 Hz", wav, Wav({.rate = 1}), 0, ramp},
      {"wav: 255 channels at 196000 Hz", wav, Wav({.channels = 255, .rate = 196000}), 0, {}, 0},
      {"wav: no channels", wav, Wav({.channels = 0}), kFileErrorCorrupt, {}},
      {"wav: 256 channels", wav, Wav({.channels = 256}), kFileErrorCorrupt, {}},
      {"wav: 0 Hz", wav, Wav({.rate = 0}), kFileErrorCorrupt, {}},
      {"wav: 196001 Hz", wav, Wav({.rate = 196001}), kFileErrorCorrupt, {}},
      {"wav: extensible", wav, Wav({.tag = 0xFFFE}), kFileErrorEncoding, {}},
      {"wav: format first", wav, Wav({.tag = 3, .channels = 0, .rate = 0, .bits = 32}), kFileErrorCorrupt, {}},
      {"wav: 12 bits", wav, Wav({.bits = 12, .data = twelve}), 0, twelveOut},
      {"wav: half a frame", wav, Wav({.channels = 2, .data = Ramp16(5)}), 0, {16, 32, 48, 64}, 2},
      {"wav: data to the end", wav, Wav({.data = Ramp16(7), .dataSize = 0xFFFFFFFF}), 0, {}, 7},
      {"wav: size too large", wav, Wav({.data = Ramp16(3), .dataSize = 10}), 0, {16, 32, 48, 0, 0}, 5},
      {"aiff: 12 bits", aiff, Aiff(Chunk("ANNO", "abc") + Chunk("COMM", Comm(1, 12)) + Ssnd(twelveBE)), 0, twelveOut,
       4},
      {"aiff: AIFF-C", aiff, Aiff(comm + data, "AIFC"), kFileErrorCorrupt, {}},
      {"aiff: no SSND", aiff, Aiff(comm), kFileErrorCorrupt, {}},
      {"aiff: SSND before COMM", aiff, Aiff(data + comm), kFileErrorCorrupt, {}},
      {"aiff: COMM short", aiff, Aiff(Chunk("COMM", Comm(1, 16).substr(0, 16)) + data), kFileErrorCorrupt, {}},
      {"aiff: no channels", aiff, Aiff(Chunk("COMM", Comm(0, 16)) + data), kFileErrorCorrupt, {}},
      {"aiff: 300 channels", aiff, Aiff(Chunk("COMM", Comm(300, 16)) + data), kFileErrorCorrupt, {}},
      {"aiff: rate large", aiff, Aiff(Chunk("COMM", Comm(1, 16, 0x401F)) + data), kFileErrorCorrupt, {}},
      {"aiff: rate < 0", aiff, Aiff(Chunk("COMM", Comm(1, 16, 0xC00B)) + data), kFileErrorCorrupt, {}},
      {"aiff: huge chunk", aiff, Aiff(Chunk("ANNO", "", 0x80000000LL) + comm), kFileErrorCorrupt, {}},
      {"aiff: SSND small", aiff, Aiff(comm + Chunk("SSND", std::string(8, '\0'), 6)), 0, {}, 0},
      {"au: annotation", au, Au(32, 4, 3) + "annotat" + '\0' + BE(100, 2) + BE(0xFF9C, 2), 0, {1600, -1600}, 2},
      {"au: size ~0", au, Au(24, 0xFFFFFFFF, 2) + "\1\2\3\xFF\x80", 0, {4096, 8192, 12288, -4096, -128 * 4096}, 5},
      {"au: offset beyond the file", au, Au(1000, 8, 3), 0, {0, 0, 0, 0}, 4},
      {"au: magic", au, "x" + Au(24, 0, 3).substr(1), kFileErrorCorrupt, {}},
      {"au: short", au, Au(24, 0, 3).substr(0, 23), kFileErrorCorrupt, {}},
      {"au: no channels", au, Au(24, 0, 3, 8000, 0), kFileErrorCorrupt, {}},
      {"au: 256 channels", au, Au(24, 0, 3, 8000, 256), kFileErrorCorrupt, {}},
      {"au: 0 Hz", au, Au(24, 0, 1, 0), kFileErrorCorrupt, {}},
      {"au: rate beyond int", au, Au(24, 0, 1, 0x80000000u), kFileErrorCorrupt, {}},
      {"vox: two samples a byte, high nibble first", OpenVox, std::string("\x70\x07", 2), 0, {k7}, 4},
      {"gsm: a partial last frame", gsm, std::string(33 * 2 + 20, '\xD5'), 0, {}, 320},
      {"gsm: empty", gsm, "", 0, {}, 0},
      // 8-bit mode, out = x1 * 128: (9 * 50 + 100 * (0 - 9) + 128) >> 8 = -2, a = 100 * 24 * 50 / (100^2 + 50^2 + 1).
      {"moh: 8-bit", moh, Moh({Segment{3, Compress({100, 50, 0}, 8)}}), 0, {100 * 2048, 50 * 2048, -2 * 2048}, 3},
      {"moh: 11-bit mode", moh, Moh({Segment{-2, Compress({1000, -500}, 12)}}), 0, {1000 * 256, -500 * 256}},
      {"moh: 8-bit wrap", moh, Moh({Segment{1, Compress({200}, 9)}}), 0, {-56 * 128 * 16}},
      {"moh: 16-bit wrap", moh, Moh({Segment{-1, Compress({5000}, 14)}}), 0, {static_cast<int16_t>(5000 * 16) * 16}},
      {"moh: width 0", moh, Moh({Segment{40, Compress(std::vector<int>(40, 0), 0)}}), 0, std::vector<int>(40, 0), 40},
      {"moh: bad checksum", moh, Moh({Segment{64, Compress(r64, 4), 0}, Segment{64, Compress(r64, 4)}}), 0, {}, 64},
      {"moh: cut in a segment", moh, cut, 0, {}, 64 + 48},
      {"moh: no checksum", moh, Moh({Segment{64, Compress(r64, 4), -2}}), 0, {}, 64},
      {"moh: an empty segment", moh, Moh({Segment{0, ""}, Segment{64, Compress(r64, 4)}}), 0, {}, 64},
      {"moh: short header", moh, std::string(23, '\0'), kFileErrorCorrupt, {}},
      {"moh: no segments", moh, Moh({}), kFileErrorCorrupt, {}},
      {"moh: skip beyond the file", moh, Moh({}, 0xFFFFFFF0u), kFileErrorCorrupt, {}},
      {"moh: INT32_MIN samples", moh, Moh({Segment{INT32_MIN, Compress(std::vector<int>(16, 1), 3), -2}}), 0, {}, 16},
      {"moh: many", moh, many, 0, {}, LMOHSource::kMaxSegments},
  };
  TempDir dir;
  std::string path = dir / "made";
  for (const MadeCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteWhole(path, c.bytes));
    LSoundSource s = c.open(path.c_str());
    ASSERT_EQ(s.GetErrorCode(), c.error);
    if (c.error != 0) {
      continue;
    }
    if (c.end >= 0) {
      EXPECT_EQ(s.GetEndSample(), c.end);
    }
    std::vector<int> got = ReadAll(s, 3);
    ASSERT_GE(got.size(), c.samples.size());
    EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + static_cast<long>(c.samples.size())), c.samples);
  }
}

TEST(SoundFiles, AdpcmStaysBoundedAndGsmSeeksByFrames)
{
  TempDir dir;
  std::string path = dir / "e.vox";
  // Only the largest positive code: the step index stays clamped and the leak keeps the predictor bounded.
  ASSERT_TRUE(WriteWhole(path, std::string(100000, '\x77')));
  LSoundSource vox = OpenVox(path.c_str());
  EXPECT_LE(ReadAll(vox).back(), 64 * 1552 * 15 * 16);
  // Byte 1 holds codes 0 (high) and 7 (low): a seek to frame 3 starts a fresh decoder with the low nibble.
  ASSERT_TRUE(WriteWhole(path, std::string("\0\7\0\0", 4)));
  LSoundSource odd = OpenVox(path.c_str());
  odd.Seek(3);
  int sample = 0;
  EXPECT_EQ(odd.Read(&sample, 1), 1);
  EXPECT_EQ(sample, 16 * 15 * 16);

  std::string gsm = dir / "g.gsm";
  Sox({"-n", "-r", "8000", "-c", "1", gsm, "synth", "1", "sine", "200-3400"});
  std::string frames = ReadWhole(gsm);
  std::string tail = dir / "tail.gsm";
  ASSERT_TRUE(WriteWhole(tail, frames.substr(3 * 33)));
  LSoundSource fresh = LGSMFile::OpenSource(tail.c_str());
  std::vector<int> expected = ReadAll(fresh, 500);
  LSoundSource s = LGSMFile::OpenSource(gsm.c_str());
  s.Seek(3 * 160 + 17);
  std::vector<int> buffer(200);
  EXPECT_EQ(s.Read(buffer.data(), 200), 200);
  EXPECT_EQ(buffer, std::vector<int>(expected.begin() + 17, expected.begin() + 217));
}

TEST(SoundFiles, RawFilesFollowTheFileAndTheirSettings)
{
  TempDir dir;
  std::string path = dir / "grow.raw";
  ASSERT_TRUE(WriteWhole(path, std::string(10, '\0')));
  LRawSettings settings;
  settings.channels = 2;
  settings.codec = kRawCodecPCM16;
  LSoundSource s = LRawFile::OpenSource(path.c_str(), settings);
  EXPECT_EQ(s.GetEndSample(), 2);  // 10 bytes of 4-byte frames
  ASSERT_TRUE(WriteWhole(path, std::string(8, '\0') + "\x34\x12\xFF\xFF" + std::string(2, '\0')));  // still growing
  EXPECT_EQ(s.GetEndSample(), 3);
  s.Seek(2);
  int frame[2] = {-1, -1};
  EXPECT_EQ(s.Read(frame, 1), 1);
  EXPECT_EQ(frame[0], 0x1234 * 16);
  EXPECT_EQ(frame[1], -16);
  for (int codec : {9, -1, 100}) {
    settings.codec = codec;
    EXPECT_EQ(LRawFile::OpenSource(path.c_str(), settings).GetErrorCode(), kSourceErrorNoSource) << codec;
  }
  settings.codec = kRawCodecPCM16;
  settings.sampleRate = 0;
  EXPECT_EQ(LRawFile::OpenSource(path.c_str(), settings).GetErrorCode(), kSourceErrorFormat);

  LVoxSettings vox;  // stored channels outside 1 to 255 read as 1
  for (int stored : {0, 256, 255}) {
    LSettingSetInt(kVoxAudioSection, "Channels", stored);
    vox.Load();
    EXPECT_EQ(vox.channels, stored == 255 ? 255 : 1) << stored;
  }
}

TEST(SoundFiles, DctUnwrapsAndPcDartWrapsAWaveFile)
{
  TempDir dir;
  std::string inner = dir / "inner.wav";
  Sox({"-n", "-r", "11025", "-c", "1", "-b", "16", inner, "synth", "4", "sine", "440"});
  std::string wav = ReadWhole(inner);
  std::string source = dir / "memo.dct";
  std::string out = dir / "out.wav";
  TestProgress progress;
  auto convert = [&](const std::string& bytes, bool dart = false) {
    progress = TestProgress();
    EXPECT_TRUE(WriteWhole(source, bytes));
    LDCTDecode dct(source.c_str(), out.c_str());
    LPCDartDecode pcDart(source.c_str(), out.c_str());
    return dart ? Process(progress, pcDart) : Process(progress, dct);
  };
  for (uint16_t version : {0, 1, 2, 3}) {
    for (uint32_t flags : {0u, 4u, version < 2 ? 2u : 0u}) {  // 2: encrypted, refused from version 2
      ASSERT_EQ(convert(Dct({.version = version, .flags = flags}, wav)), 0) << version << " " << flags;
      EXPECT_EQ(ReadWhole(out), wav) << version << " " << flags;
    }
  }
  EXPECT_EQ(progress.status1, std::vector<std::string>{"Loading DCT File"});
  EXPECT_EQ(progress.status2, std::vector<std::string>{source});
  EXPECT_EQ(progress.progress.size(), 4 + (wav.size() + 32767) / 32768);  // 4 steps, then 32768-byte blocks
  struct Case {
    DctLayout layout;
    const char* message;
  } cases[] = {
      {{.version = 4}, "DCT File load error"},
      {{.total = 100}, "DCT File is corrupt"},
      {{.total = 0xFFFFFFFF}, "DCT File is corrupt"},
      {{.version = 2, .flags = 2}, "You cannot load encrypted files with this software."},
      {{.extraLength = 0x7FFFFFFF}, "DCT File is corrupt"},
      {{.notes = 0x10000000}, "Unable to load dct file because of file corruption (notes error)."},
      {{.flags = 4, .attachment = 0x10000000},
       "Unable to load dct file because of file corruption (attachment too large)."},
      {{.channels = 0},
       "Unable to load dct file because of file corruption (zero channels error). Please ask the "
       "dictator to send it again."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convert(Dct(c.layout, wav)), 2) << c.message;
    ASSERT_EQ(progress.errors.size(), 1u) << c.message;
    EXPECT_EQ(progress.errors[0].rfind(c.message, 0), 0u) << progress.errors[0];
  }
  // PC Dart: the audio after a 1024-byte header, wrapped in a WAV header of a coding the WAV reader refuses.
  std::string bytes(1024 + 5000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(i * 13);
  }
  ASSERT_EQ(convert(bytes, true), 0);
  EXPECT_EQ(progress.status1, std::vector<std::string>{"Loading Dart File"});
  std::string header = "RIFF" + LE(6024, 4) + "WAVEfmt " + LE(50, 4) + LE(34, 2) + LE(1, 2) + LE(8000, 4) +
                       LE(1067, 4) + LE(32, 2) + LE(1, 2) + LE(32, 2) + LE(1, 2) + LE(240, 2) + std::string(28, '\0');
  EXPECT_EQ(ReadWhole(out), header + "data" + LE(6024 - 78, 4) + bytes.substr(1024));
  EXPECT_EQ(LWaveFile::OpenSource(out.c_str()).GetErrorCode(), kFileErrorEncoding);
  ASSERT_EQ(convert(std::string(40, '\1'), true), 0);  // shorter than its own header: no audio
  EXPECT_EQ(ReadWhole(out), header.replace(4, 4, LE(40, 4)) + "data" + LE(0, 4));  // RIFF: the source's size
  ASSERT_TRUE(WriteWhole(source, Dct({}, wav)));
  progress.stop = true;
  for (const std::string& path : {source, dir / "missing"}) {
    LDCTDecode dct(path.c_str(), out.c_str());
    LPCDartDecode pcDart(path.c_str(), out.c_str());
    EXPECT_EQ(Process(progress, dct), path == source ? 1 : 2);
    EXPECT_EQ(Process(progress, pcDart), path == source ? 1 : 2);
  }
}
