#pragma once
// Test sound cards for test programs: points libasound at the test plugins
// (tests/alsa/helpers.cmake) so that "hw:N" opens test card N, described by
// the environment.  Call before starting threads that might use ALSA.
//
//   LTestAlsaCards cards;                       // no cards yet
//   TestAlsaSetCard(0, "sine:1000,2000:0.5");   // hw:0, 1 kHz left, 2 kHz right
//   TestAlsaSetCard(1, "file:/tmp/x.raw", "overrun:300", "Line In");
//   TestAlsaSetCard(2, "refuse");               // exists, PCM open gives EBUSY
// Signals: "sine:F[,F2][:A[,A2]]" (A of full scale, default 0.5), "file:PATH"
// (raw S16_LE stereo, looped), "silence".  Faults: "overrun:MS" (an overrun
// every MS ms after each start), "fail" (every read fails with EIO, as on an
// unplugged card).  Name: default "Velorin Test Card <n>".
#include <string>

#include "alsa/testcardenv.h"

inline void TestAlsaSetCard(int card, const char* signal, const char* fault = nullptr,
                            const char* name = nullptr) {
  const char* prefixes[] = {kTestCardSignalVar, kTestCardFaultVar, kTestCardNameVar};
  const char* values[] = {signal, fault, name};
  for (int i = 0; i < 3; ++i) {
    std::string variable = prefixes[i] + std::to_string(card);
    if (values[i] != nullptr)
      setenv(variable.c_str(), values[i], 1);
    else
      unsetenv(variable.c_str());
  }
}

inline void TestAlsaRemoveCard(int card) { TestAlsaSetCard(card, nullptr); }

// Points ALSA at the test cards and removes every card (ALSA numbers 0 to
// 31) for its lifetime.
class LTestAlsaCards {
public:
  LTestAlsaCards() {
    setenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" VELORIN_TEST_ALSA_CONF, 1);
    RemoveAll();
  }
  ~LTestAlsaCards() { RemoveAll(); }
  LTestAlsaCards(const LTestAlsaCards&) = delete;
  LTestAlsaCards& operator=(const LTestAlsaCards&) = delete;

private:
  static void RemoveAll() {
    for (int card = 0; card < 32; ++card)
      TestAlsaRemoveCard(card);
  }
};
