#pragma once
#include <alsa/asoundlib.h>

#include <cstdint>
#include <vector>

// The sound a test card delivers: one stereo signal, addressed by absolute
// frame number so that it runs on without a seam however the reads are cut.
//
// Descriptions (the value of VELORIN_TESTPCM_CARD<n>):
//   "sine:F[,F2][:A[,A2]]"  sine of F Hz (right channel F2 Hz, default F) at
//                           amplitude A of full scale (right A2, default A;
//                           A defaults to 0.5)
//   "file:PATH"             raw signed 16-bit little-endian stereo frames,
//                           read whole at open and looped
//   "silence"               zeros
class LTestSignal {
public:
  static constexpr unsigned kChannels = 2;
  static constexpr unsigned kRate = 44100;

  // Returns 0, or -EINVAL for a malformed description, -ENOENT/-EIO when the
  // file cannot be read, -EINVAL for a file without a whole frame.
  int Parse(const char* description);

  // Writes frames [first, first + count) of the signal into the channel areas
  // (S16_LE, kChannels areas) starting at frame offset `offset`.
  void Fill(const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset, uint64_t first,
            snd_pcm_uframes_t count) const;

  int16_t Sample(uint64_t frame, unsigned channel) const;

private:
  enum class Kind { Silence, Sine, File };

  int ParseSine(const char* args);
  int ParseFile(const char* path);

  Kind kind_ = Kind::Silence;
  double frequency_[kChannels] = {};
  double amplitude_[kChannels] = {};
  std::vector<int16_t> frames_;  // interleaved, for Kind::File
};
