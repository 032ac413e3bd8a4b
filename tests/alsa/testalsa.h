#pragma once
// Test sound cards: points libasound at the test plugins (helpers.cmake) so that "hw:N" opens test card N,
// described by the environment; call before starting threads that might use ALSA.  Signals:
// "sine:F[,F2][:A[,A2]]" (A of full scale, default 0.5), "file:PATH" (raw S16_LE stereo, looped), "silence",
// "refuse" (PCM open gives EBUSY).  Faults: "overrun:MS" (every MS ms after each start), "fail" (every read
// gives EIO, as on an unplugged card).  Name: default "Velorin Test Card <n>".
#include <string>

#include "alsa/testcardenv.h"

inline void TestAlsaSetCard(int card, const char* signal, const char* fault = nullptr, const char* name = nullptr)
{
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

inline void TestAlsaRemoveCard(int card)
{
  TestAlsaSetCard(card, nullptr);
}

// Points ALSA at the test cards and removes every card (ALSA numbers 0 to 31) for its lifetime.
class LTestAlsaCards {
public:
  LTestAlsaCards()
  {
    setenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" VELORIN_TEST_ALSA_CONF, 1);
    RemoveAll();
  }
  ~LTestAlsaCards() { RemoveAll(); }
  LTestAlsaCards(const LTestAlsaCards&) = delete;
  LTestAlsaCards& operator=(const LTestAlsaCards&) = delete;
  static void RemoveAll()
  {
    for (int card = 0; card < 32; ++card)
      TestAlsaRemoveCard(card);
  }
};
