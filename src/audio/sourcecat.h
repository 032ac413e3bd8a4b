#pragma once
// Concatenation of sources and stretches of silence, read as one source at
// one rate and channel count.
//
// The conversion of each item to that format is done by a function that
// the owner supplies (the rate and channel converter of the sound layer,
// which this layer cannot link).
#include <cstddef>
#include <vector>

#include "audio/soundsource.h"
#include "audio/soundtime.h"

// Replaces `source` by a chain that delivers `rate` and `channels`.
using LSoundConvertFunction = void (*)(int rate, unsigned char channels, LSoundSource& source);

struct LSoundCatItem {
  LSoundSource source;  // an error source for a stretch of silence
  LSoundTime silence;
  bool isSource;
};

class LSoundSourceCat {
public:
  explicit LSoundSourceCat(LSoundConvertFunction convert) : convert_(convert) {}

  void AddSource(LSoundSource& source) { items_.push_back({source, LSoundTime::Zero(), true}); }
  void AddSilence(LSoundTime duration) { items_.push_back({LSoundSource(), duration, false}); }

  // The concatenation at `rate` and `channels`.
  LSoundSource OpenSource(int rate, unsigned char channels);
  // The concatenation at the highest rate (8000 when no item is a valid
  // source) and the highest channel count among the items.
  LSoundSource OpenSource();

private:
  LSoundConvertFunction convert_;
  std::vector<LSoundCatItem> items_;
};

class LSSRCCat : public LSoundSourceBase {
public:
  LSSRCCat(const std::vector<LSoundCatItem>& items, int rate, unsigned char channels, LSoundConvertFunction convert);

  // Delivers frames until the last item ends; the rest of `samples` is
  // then cleared and the count of frames delivered returned.
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override { return position_; }
  int GetEndSample() const override;
  // A negative frame reads that much silence before the first item; a
  // frame past the end leaves one second of silence to be read.
  void Seek(int frame) override;

private:
  struct Item {
    LSoundSource source;  // converted; unused for silence
    int frames;           // length of a silence item
    bool isSource;
  };
  int Length(const Item& item) const;
  void Open(size_t index);

  std::vector<Item> items_;
  size_t index_ = 0;     // current item; items_.size() once all are read
  int silenceLeft_ = 0;  // of the current silence item
  int extra_ = 0;        // silence to deliver before the current item
  int position_ = 0;
};
