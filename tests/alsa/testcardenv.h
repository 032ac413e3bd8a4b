#pragma once
// The environment that describes test card <n>: each name followed by n.
inline constexpr const char kTestCardSignalVar[] = "VELORIN_TESTPCM_CARD";
inline constexpr const char kTestCardFaultVar[] = "VELORIN_TESTPCM_FAULT";
inline constexpr const char kTestCardNameVar[] = "VELORIN_TESTPCM_NAME";
