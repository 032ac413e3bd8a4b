#pragma once
// A capture device: an ALSA card by number, and a channel number that is
// stored with it but does not change what is captured.  Settings keep the
// card by name, so a card keeps its setting when card numbers change.

class LSoundRecordDevice {
public:
  // Cards 0 .. kMaxCards - 1 are looked at by name.
  static constexpr int kMaxCards = 16;

  LSoundRecordDevice() = default;
  // The last card among 0..15 whose name is exactly `name`; card 0 when
  // none is.  Opens each card's control interface.
  LSoundRecordDevice(const char* name, int channel);

  // The card's name (260 bytes), empty when the card cannot be opened.
  void GetDeviceName(char* name) const { GetListDeviceName(card_, name); }
  int GetListNumber() const { return card_; }
  void SetListNumber(int card) { card_ = card; }
  int GetListChannelNumber() const { return channel_; }
  void SetListChannelNumber(int channel) { channel_ = channel; }

  // The name of card `card` from its control interface "hw:<card>"
  // (260 bytes); empty when there is no such card.  Any thread.
  static void GetListDeviceName(int card, char* name);
  // Capture channels are not listed separately on this platform.
  static int GetListChannelCount(int card);
  static void GetListChannelName(int card, int channel, char* name);

private:
  int card_ = 0;
  int channel_ = 0;
};

// Reads the device of the keys "<prefix>Device" (card name) and
// "<prefix>Channel" in `section` of the shared settings.
LSoundRecordDevice LSettingGetSoundRecordDevice(const char* section, const char* prefix);
// Stores the device's card name and channel under the same keys.
void LSettingSetSoundRecordDevice(const char* section, const char* prefix, const LSoundRecordDevice& device);
