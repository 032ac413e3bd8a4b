#pragma once
// Test sound cards for test programs.  The machines running the tests have no
// sound card; these functions point libasound at the test plugins (built by
// tests/alsa/helpers.cmake) so that "hw:N" opens test card N, and describe
// the cards through the environment, which the plugins read at every open.
//
// They change the process environment: call them before starting threads
// that might use ALSA or getenv.  Children started afterwards inherit the
// cards; a child that is not built with the sanitizers of this build needs
// TestAlsaConfigPath(true) as its ALSA_CONFIG_PATH.
//
//   LTestAlsaCards cards;                       // no cards yet
//   TestAlsaSetCard(0, "sine:1000,2000:0.5");   // hw:0, 1 kHz left, 2 kHz right
//   TestAlsaSetCard(1, "file:/tmp/x.raw", "overrun:300", "Line In");
//   TestAlsaSetCard(2, "refuse");               // exists, PCM open gives EBUSY
#include <cstdlib>
#include <string>

#include "alsa/testcardenv.h"

// Value for ALSA_CONFIG_PATH: the system configuration followed by ours.
// forChildren selects the modules built without sanitizers.
inline std::string TestAlsaConfigPath(bool forChildren = false) {
  return std::string("/usr/share/alsa/alsa.conf:") +
         (forChildren ? VELORIN_TEST_ALSA_CONF_PLAIN : VELORIN_TEST_ALSA_CONF);
}

inline std::string TestAlsaCardVariable(const char* prefix, int card) {
  return prefix + std::to_string(card);
}

// Makes card `card` exist with the given signal ("sine:F[,F2][:A[,A2]]",
// "file:PATH", "silence" or "refuse"), fault ("overrun:MS", "fail",
// "fail:MS"; nullptr for none) and name (nullptr: "Velorin Test Card <n>").
inline void TestAlsaSetCard(int card, const char* signal, const char* fault = nullptr,
                            const char* name = nullptr) {
  setenv(TestAlsaCardVariable(kTestCardSignalVar, card).c_str(), signal, 1);
  const char* prefixes[] = {kTestCardFaultVar, kTestCardNameVar};
  const char* values[] = {fault, name};
  for (int i = 0; i < 2; ++i) {
    std::string variable = TestAlsaCardVariable(prefixes[i], card);
    if (values[i] != nullptr)
      setenv(variable.c_str(), values[i], 1);
    else
      unsetenv(variable.c_str());
  }
}

inline void TestAlsaRemoveCard(int card) {
  for (const char* prefix : {kTestCardSignalVar, kTestCardFaultVar, kTestCardNameVar})
    unsetenv(TestAlsaCardVariable(prefix, card).c_str());
}

// ALSA numbers cards 0 to 31.
inline void TestAlsaRemoveAllCards() {
  for (int card = 0; card < 32; ++card)
    TestAlsaRemoveCard(card);
}

// Points ALSA at the test cards and removes every card for its lifetime.
class LTestAlsaCards {
public:
  LTestAlsaCards() {
    setenv("ALSA_CONFIG_PATH", TestAlsaConfigPath().c_str(), 1);
    TestAlsaRemoveAllCards();
  }
  ~LTestAlsaCards() { TestAlsaRemoveAllCards(); }
  LTestAlsaCards(const LTestAlsaCards&) = delete;
  LTestAlsaCards& operator=(const LTestAlsaCards&) = delete;
};
