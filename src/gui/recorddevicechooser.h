#pragma once
// The capture device chooser of the stream input dialog: a pull-down list
// of the named sound cards (cards 0..15 in card order) and an optional
// channel list.  The list keeps the card number of every entry, so a
// machine whose cards are not numbered from 0 without gaps still stores
// the card the user chose.  GTK main thread only.
#include "audio/soundrecorddevice.h"

class LWindow;

void LSoundRecordDeviceInit(LWindow& dialog, int deviceControl, const LSoundRecordDevice& device);
void LSoundRecordDeviceInit(LWindow& dialog, int deviceControl, int channelControl, const LSoundRecordDevice& device);
// Refills the channel list for the chosen card.
void LSoundRecordDeviceChanged(LWindow& dialog, int deviceControl, int channelControl);
// The chosen card into `device`; without a selection it is left as it was.
void LSoundRecordDeviceApply(LWindow& dialog, int deviceControl, LSoundRecordDevice& device);
void LSoundRecordDeviceApply(LWindow& dialog, int deviceControl, int channelControl, LSoundRecordDevice& device);
