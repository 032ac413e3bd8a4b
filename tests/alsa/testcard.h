#pragma once
#include <alsa/asoundlib.h>

#include <string>

// One test sound card as the environment describes it when the card is
// opened (every open reads it afresh, so a test can change a card between
// opens):
//   VELORIN_TESTPCM_CARD<n>   the signal (see LTestSignal) or "refuse" (the
//                             card exists, its PCM fails to open with EBUSY
//                             as a card held by another program does);
//                             unset: there is no card <n>
//   VELORIN_TESTPCM_FAULT<n>  "overrun:MS": every MS ms after each start the
//                             capture reports an overrun (EPIPE) until it is
//                             prepared again;
//                             "fail" or "fail:MS": from the start (or MS ms
//                             after it) every read fails with EIO and the
//                             frames due are lost, as on an unplugged card
//   VELORIN_TESTPCM_NAME<n>   card name, default "Velorin Test Card <n>"
class LTestCard {
public:
  enum class Fault { None, Overrun, Fail };
  static constexpr int kMaxCards = 32;  // as many as ALSA numbers

  // Reads the plugin's configuration node ("card" and, for PCMs, "device",
  // each an integer or a numeric string). Returns 0 or -EINVAL/-ENODEV.
  static int ParseConfig(snd_config_t* conf, int* card, int* device);

  // Returns 0, -ENODEV when card <card> is absent, -EINVAL when its fault
  // description is malformed.
  int Load(int card);

  int Number() const { return card_; }
  bool Refuses() const { return refuse_; }
  const char* Signal() const { return signal_.c_str(); }
  Fault FaultKind() const { return fault_; }
  unsigned FaultMs() const { return faultMs_; }
  const char* Name() const { return name_; }
  const char* LongName() const { return longName_; }
  const char* Id() const { return id_; }

private:
  int ParseFault(const char* text);

  int card_ = -1;
  bool refuse_ = false;
  std::string signal_;  // copied: a later setenv may free the original
  Fault fault_ = Fault::None;
  unsigned faultMs_ = 0;
  // Sizes of the card-info fields of the control interface.
  char name_[32] = {};
  char longName_[80] = {};
  char id_[16] = {};
};
