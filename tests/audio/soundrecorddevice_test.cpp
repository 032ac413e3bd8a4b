#include <gtest/gtest.h>

#include <string>

#include "alsa/testalsa.h"
#include "audio/soundrecorddevice.h"
#include "settings/settings.h"

namespace {

TEST(RecordDevice, NamesSelectTheLastMatchingCardAmongTheFirstSixteen)
{
  LTestAlsaCards cards;
  TestAlsaSetCard(0, "silence");
  TestAlsaSetCard(2, "silence", nullptr, "Line In");
  TestAlsaSetCard(3, "refuse", nullptr, "USB Mic");  // busy cards still have names
  TestAlsaSetCard(5, "silence", nullptr, "Line In");
  TestAlsaSetCard(15, "silence", nullptr, "Last");
  TestAlsaSetCard(16, "silence", nullptr, "Too Far");
  const struct {
    const char* name;
    int card;
  } cases[] = {
      {"Line In", 5},  // the higher of two equal names
      {"USB Mic", 3}, {"Velorin Test Card 0", 0},
      {"Last", 15},   {"Too Far", 0},  // beyond card 15: not looked at
      {"default", 0}, {"", 0},
      {"line in", 0},  // exact match only
  };
  for (const auto& c : cases)
    EXPECT_EQ(LSoundRecordDevice(c.name, 0).GetListNumber(), c.card) << c.name;
  char name[260];
  for (auto [card, expected] : {std::pair{2, "Line In"}, {1, ""}, {-1, ""}, {31, ""}}) {
    LSoundRecordDevice::GetListDeviceName(card, name);
    EXPECT_STREQ(name, expected) << card;
  }
}

TEST(RecordDevice, SettingsKeepTheCardByNameAcrossRenumbering)
{
  LTestAlsaCards cards;
  TestAlsaSetCard(0, "silence");
  TestAlsaSetCard(3, "silence", nullptr, "USB Mic");
  LSoundRecordDevice device("USB Mic", 2);
  LSettingSetSoundRecordDevice("Live", "Device2", device);
  char text[260];
  LSettingGetString("Live", "Device2Device", "", text);
  EXPECT_STREQ(text, "USB Mic");
  EXPECT_EQ(LSettingGetInt("Live", "Device2Channel", -1), 2);
  LSoundRecordDevice read = LSettingGetSoundRecordDevice("Live", "Device2");
  EXPECT_EQ(read.GetListNumber(), 3);
  EXPECT_EQ(read.GetListChannelNumber(), 2);
  TestAlsaRemoveCard(3);
  TestAlsaSetCard(6, "silence", nullptr, "USB Mic");
  EXPECT_EQ(LSettingGetSoundRecordDevice("Live", "Device2").GetListNumber(), 6) << "found again as card 6";
  TestAlsaRemoveCard(6);
  EXPECT_EQ(LSettingGetSoundRecordDevice("Live", "Device2").GetListNumber(), 0) << "gone: card 0";
  // A prefix longer than a key is cut, not overrun.
  std::string longPrefix(400, 'P');
  LSettingSetSoundRecordDevice("Live", longPrefix.c_str(), device);
  EXPECT_EQ(LSettingGetSoundRecordDevice("Live", longPrefix.c_str()).GetListNumber(), 0);
}

}  // namespace
