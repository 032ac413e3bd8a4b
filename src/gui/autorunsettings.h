#pragma once
// The start-mode controls of the settings dialog's General page: a check
// box "Run when computer starts" and, under it, a pull-down list of the
// five start modes.  Applying them is LAutoRunApply (app/autorun.h).  GTK
// main thread only.
class LWindow;

inline constexpr int kStartModeCount = 5;

// The list's texts, in index order (the index is the user's "RunMode").
const char* LStartModeText(int mode);

// Ticks the box when the desktop starts at logon for anybody or the service
// at boot, fills the list and selects the user's "RunMode".
void LAutoRunSettingsInit(LWindow& dialog, int checkId, int listId);
// Applies the controls (see autorunsettings.cpp).  A service change that
// is refused shows the "Administrator Access" box; the rest is applied
// anyway.  Always true.
bool LAutoRunSettingsApply(LWindow& dialog, int checkId, int listId);
