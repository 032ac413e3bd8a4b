#include "testcard.h"

#include "testcardenv.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* CardVariable(const char* prefix, int card) {
  char name[64];
  std::snprintf(name, sizeof name, "%s%d", prefix, card);
  return std::getenv(name);
}

// An integer node, or a string node holding a whole decimal number.
int ConfigNumber(snd_config_t* node, int* value) {
  long number = 0;
  if (snd_config_get_integer(node, &number) == 0) {
    *value = static_cast<int>(number);
    return 0;
  }
  const char* text = nullptr;
  if (snd_config_get_string(node, &text) < 0 || text == nullptr || *text == '\0')
    return -EINVAL;
  char* end = nullptr;
  number = std::strtol(text, &end, 10);
  if (*end != '\0')
    return -EINVAL;
  *value = static_cast<int>(number);
  return 0;
}

}  // namespace

int LTestCard::ParseConfig(snd_config_t* conf, int* card, int* device) {
  *card = 0;
  if (device != nullptr)
    *device = 0;
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t* node = snd_config_iterator_entry(i);
    const char* id = nullptr;
    if (snd_config_get_id(node, &id) < 0)
      continue;
    if (std::strcmp(id, "comment") == 0 || std::strcmp(id, "type") == 0 || std::strcmp(id, "hint") == 0)
      continue;
    int* target = std::strcmp(id, "card") == 0                        ? card
                  : (device != nullptr && std::strcmp(id, "device") == 0) ? device
                                                                       : nullptr;
    if (target == nullptr) {
      SNDERR("velorintest: unknown field %s", id);
      return -EINVAL;
    }
    if (ConfigNumber(node, target) < 0) {
      SNDERR("velorintest: field %s is not a number", id);
      return -EINVAL;
    }
  }
  if (*card < 0 || *card >= kMaxCards)
    return -ENODEV;
  return 0;
}

int LTestCard::Load(int card) {
  if (card < 0 || card >= kMaxCards)
    return -ENODEV;
  const char* signal = CardVariable(kTestCardSignalVar, card);
  if (signal == nullptr)
    return -ENODEV;
  card_ = card;
  refuse_ = std::strcmp(signal, "refuse") == 0;
  signal_ = signal;

  const char* name = CardVariable(kTestCardNameVar, card);
  if (name != nullptr)
    std::snprintf(name_, sizeof name_, "%s", name);
  else
    std::snprintf(name_, sizeof name_, "Velorin Test Card %d", card);
  std::snprintf(longName_, sizeof longName_, "%s at test slot %d", name_, card);
  std::snprintf(id_, sizeof id_, "VelorinTest%d", card);

  const char* fault = CardVariable(kTestCardFaultVar, card);
  return ParseFault(fault != nullptr ? fault : "");
}

int LTestCard::ParseFault(const char* text) {
  struct FaultEntry {
    const char* word;
    Fault fault;
    bool needsMs;
  };
  static const FaultEntry kFaults[] = {
      {"", Fault::None, false},
      {"overrun", Fault::Overrun, true},
      {"fail", Fault::Fail, false},
  };
  const char* colon = std::strchr(text, ':');
  size_t wordLength = colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text);
  for (const FaultEntry& entry : kFaults) {
    if (std::strlen(entry.word) != wordLength || std::strncmp(text, entry.word, wordLength) != 0)
      continue;
    unsigned ms = 0;
    if (colon != nullptr) {
      char* end = nullptr;
      long value = std::strtol(colon + 1, &end, 10);
      if (end == colon + 1 || *end != '\0' || value < 0 || value > 3600 * 1000)
        return -EINVAL;
      ms = static_cast<unsigned>(value);
    }
    // An overrun every 0 ms would never let a read through.
    if (entry.needsMs && ms == 0)
      return -EINVAL;
    fault_ = entry.fault;
    faultMs_ = ms;
    return 0;
  }
  return -EINVAL;
}
