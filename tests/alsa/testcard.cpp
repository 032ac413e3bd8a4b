#include "testcard.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

#include "testcardenv.h"

namespace {

const char* CardVariable(const char* prefix, int card)
{
  return std::getenv((prefix + std::to_string(card)).c_str());
}

// "X" or "X,Y" (Y defaults to X); the text after them, nullptr when malformed.
const char* ParsePair(const char* text, double out[2])
{
  char* end = nullptr;
  out[0] = out[1] = std::strtod(text, &end);
  if (end != text && *end == ',') {
    text = end + 1;
    out[1] = std::strtod(text, &end);
  }
  return end == text ? nullptr : end;
}

}  // namespace

int LTestCard::ParseConfig(snd_config_t* conf)
{
  snd_config_t* node = nullptr;
  long card = -1;
  const char* text = nullptr;
  if (snd_config_search(conf, "card", &node) < 0)
    return 0;
  if (snd_config_get_integer(node, &card) < 0 && snd_config_get_string(node, &text) == 0 && text != nullptr) {
    char* end = nullptr;
    card = std::strtol(text, &end, 10);
    card = end == text || *end != '\0' ? -1 : card;
  }
  return card >= 0 && card < 32 ? static_cast<int>(card) : -ENODEV;
}

int LTestCard::Load(int card)
{
  const char* signal = CardVariable(kTestCardSignalVar, card);
  if (signal == nullptr)
    return -ENODEV;
  const char* given = CardVariable(kTestCardNameVar, card);
  name = given != nullptr ? given : "Velorin Test Card " + std::to_string(card);
  const char* fault = CardVariable(kTestCardFaultVar, card);
  if (fault != nullptr && std::strcmp(fault, "fail") == 0) {
    this->fault = Fault::Fail;
  } else if (fault != nullptr) {
    // An overrun every 0 ms would never let a read through.
    char* end = nullptr;
    if (std::strncmp(fault, "overrun:", 8) != 0 || (overrunMs = std::strtoul(fault + 8, &end, 10)) == 0 || *end)
      return -EINVAL;
    this->fault = Fault::Overrun;
  }
  refuses = std::strcmp(signal, "refuse") == 0;
  return refuses ? 0 : ParseSignal(signal);
}

int LTestCard::ParseSignal(const char* text)
{
  if (std::strcmp(text, "silence") == 0)
    return 0;
  if (std::strncmp(text, "file:", 5) == 0) {
    std::ifstream file(text + 5, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file_.resize(bytes.size() / (kChannels * 2) * kChannels);
    std::memcpy(file_.data(), bytes.data(), file_.size() * 2);
    return file_.empty() ? -ENOENT : 0;
  }
  if (std::strncmp(text, "sine:", 5) != 0)
    return -EINVAL;
  double amplitude[kChannels] = {0.5, 0.5};
  const char* rest = ParsePair(text + 5, frequency_);
  if (rest != nullptr && *rest == ':')
    rest = ParsePair(rest + 1, amplitude);
  if (rest == nullptr || *rest != '\0')
    return -EINVAL;
  for (unsigned c = 0; c < kChannels; ++c) {
    // Above half the rate a sine would alias into another frequency.
    if (!(frequency_[c] > 0 && frequency_[c] < kRate / 2.0) || !(amplitude[c] >= 0 && amplitude[c] <= 1))
      return -EINVAL;
    amplitude_[c] = amplitude[c];
  }
  for (unsigned c = 0; c < kChannels; ++c) {
    if (frequency_[c] != std::floor(frequency_[c]))
      continue;
    std::vector<int16_t> second(kRate);
    for (unsigned frame = 0; frame < kRate; ++frame)
      second[frame] = Sample(frame, c);
    second_[c] = std::move(second);
  }
  return 0;
}

int16_t LTestCard::Sample(uint64_t frame, unsigned channel) const
{
  if (!file_.empty())
    return file_[frame % (file_.size() / kChannels) * kChannels + channel];
  if (!second_[channel].empty())
    return second_[channel][frame % kRate];
  // Reduced modulo the rate, the argument of sin stays within one cycle.
  double cycles = std::fmod(frequency_[channel] * static_cast<double>(frame), kRate);
  return static_cast<int16_t>(
      std::lround(amplitude_[channel] * 32767.0 * std::sin(2 * std::numbers::pi * cycles / kRate)));
}
