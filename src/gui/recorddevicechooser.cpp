#include "gui/recorddevicechooser.h"

#include <vector>

#include "base/stringtools.h"
#include "gui/listcontrol.h"
#include "gui/window.h"

namespace {

constexpr const char* kCardsKey = "velorin-cards";

void FreeCards(gpointer cards)
{
  delete static_cast<std::vector<int>*>(cards);
}

// The card number of every entry of the list, in entry order.
const std::vector<int>* Cards(LWindow& dialog, int deviceControl)
{
  GtkWidget* combo = dialog.GetControl(deviceControl);
  return combo != nullptr ? static_cast<std::vector<int>*>(g_object_get_data(G_OBJECT(combo), kCardsKey)) : nullptr;
}

int SelectedCard(LWindow& dialog, int deviceControl)
{
  const std::vector<int>* cards = Cards(dialog, deviceControl);
  int index = dialog.GetControlInt(deviceControl);
  if (cards == nullptr || index < 0 || index >= static_cast<int>(cards->size()))
    return -1;
  return (*cards)[static_cast<std::size_t>(index)];
}

}  // namespace

void LSoundRecordDeviceInit(LWindow& dialog, int deviceControl, const LSoundRecordDevice& device)
{
  GtkWidget* combo = dialog.GetControl(deviceControl);
  if (combo == nullptr)
    return;
  LComboClear(combo);
  auto* cards = new std::vector<int>;
  int select = -1;
  char name[kPathSize];
  for (int card = 0; card < LSoundRecordDevice::kMaxCards; ++card) {
    LSoundRecordDevice::GetListDeviceName(card, name);
    if (name[0] == '\0')
      continue;
    if (card == device.GetListNumber())
      select = static_cast<int>(cards->size());
    cards->push_back(card);
    dialog.AddControlListItem(deviceControl, name);
  }
  g_object_set_data_full(G_OBJECT(combo), kCardsKey, cards, FreeCards);
  dialog.SetControlInt(deviceControl, select);
}

void LSoundRecordDeviceInit(LWindow& dialog, int deviceControl, int channelControl, const LSoundRecordDevice& device)
{
  LSoundRecordDeviceInit(dialog, deviceControl, device);
  LSoundRecordDeviceChanged(dialog, deviceControl, channelControl);
  dialog.SetControlInt(channelControl, device.GetListChannelNumber());
}

void LSoundRecordDeviceChanged(LWindow& dialog, int deviceControl, int channelControl)
{
  LComboClear(dialog.GetControl(channelControl));
  int card = SelectedCard(dialog, deviceControl);
  if (card < 0)
    return;
  char name[kPathSize];
  for (int channel = 1; channel < LSoundRecordDevice::GetListChannelCount(card); ++channel) {
    LSoundRecordDevice::GetListChannelName(card, channel, name);
    dialog.AddControlListItem(channelControl, name);
  }
}

void LSoundRecordDeviceApply(LWindow& dialog, int deviceControl, LSoundRecordDevice& device)
{
  int card = SelectedCard(dialog, deviceControl);
  if (card >= 0)
    device.SetListNumber(card);
}

void LSoundRecordDeviceApply(LWindow& dialog, int deviceControl, int channelControl, LSoundRecordDevice& device)
{
  LSoundRecordDeviceApply(dialog, deviceControl, device);
  int channel = dialog.GetControlInt(channelControl);
  if (channel >= 0)
    device.SetListChannelNumber(channel);
}
