#pragma once

// The MP3 sample rates and the bit rates each MPEG version allows there,
// and the choice of the rate to encode at.

// The standard bit rate nearest to kbps (ties go to the lower one, so a
// listener's bandwidth is not exceeded).  kbps must be positive.
int RoundToStandardBitRate(int kbps);

// True when rate (Hz) is a standard MP3 sample rate and at least one bit
// rate from low to high kbit/s is allowed there.
bool IsBitRateRangeValidAt(int rate, int low, int high);

// The rate to encode at, for input at inputRate and bit rates from low to
// high (equal for constant bit rate; both standard bit rates): the input
// rate itself when it is a standard rate that allows them, so nothing is
// resampled needlessly; otherwise the highest standard rate below the input
// that does; otherwise the lowest one above it.  0 when none does.
int ChooseOutputRate(int inputRate, int low, int high);

// Narrows low..high to the bit rates allowed at rate: low rises to the
// lowest allowed one not below it, high falls to the highest not above
// it.  rate must allow some bit rate in low..high.
void NarrowBitRatesTo(int rate, int& low, int& high);
