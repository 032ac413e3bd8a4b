#pragma once

// Environment variables that describe the test sound cards, each followed by
// the card number (see LTestCard for their values).
inline constexpr const char kTestCardSignalVar[] = "VELORIN_TESTPCM_CARD";
inline constexpr const char kTestCardFaultVar[] = "VELORIN_TESTPCM_FAULT";
inline constexpr const char kTestCardNameVar[] = "VELORIN_TESTPCM_NAME";
