#pragma once
// One test sound card as the environment describes it (see testalsa.h); the
// plugins read it afresh at every open, so a test may change a card between opens.
#include <alsa/asoundlib.h>

#include <cstdint>
#include <string>
#include <vector>

class LTestCard {
public:
  enum class Fault { None, Overrun, Fail };
  static constexpr unsigned kChannels = 2;
  static constexpr unsigned kRate = 44100;

  // The "card" field of a plugin's configuration node (a number or a
  // numeric string); -ENODEV when it names no card ALSA could number.
  static int ParseConfig(snd_config_t* conf);
  // 0, -ENODEV when the card is absent, -EINVAL/-ENOENT for a bad description.
  int Load(int card);
  // Sample `frame` (counted from the first open) of `channel`, S16.
  int16_t Sample(uint64_t frame, unsigned channel) const;

  bool refuses = false;
  Fault fault = Fault::None;
  unsigned overrunMs = 0;
  std::string name;

private:
  int ParseSignal(const char* text);

  double frequency_[kChannels] = {};
  double amplitude_[kChannels] = {};
  // A whole number of hertz repeats every second: that second, computed once,
  // so that the card costs its reader next to nothing, as hardware does.
  std::vector<int16_t> second_[kChannels];
  std::vector<int16_t> file_;  // interleaved frames of a looped file
};
