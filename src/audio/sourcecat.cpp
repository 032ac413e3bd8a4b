#include "audio/sourcecat.h"

#include <algorithm>
#include <climits>

#include "audio/soundbase.h"

LSoundSource LSoundSourceCat::OpenSource(int rate, unsigned char channels)
{
  return LSoundSource(new LSSRCCat(items_, rate, channels, convert_));
}

LSoundSource LSoundSourceCat::OpenSource()
{
  int rate = 0;
  unsigned char channels = 1;
  for (const LSoundCatItem& item : items_) {
    if (item.isSource && item.source.IsOpen()) {
      rate = std::max(rate, item.source.GetSampleRate());
      channels = std::max(channels, item.source.GetChannels());
    }
  }
  return OpenSource(rate > 0 ? rate : 8000, channels);
}

LSSRCCat::LSSRCCat(const std::vector<LSoundCatItem>& items, int rate, unsigned char channels,
                   LSoundConvertFunction convert)
    : LSoundSourceBase(rate, channels, LSF16::GetPeak())
{
  // Every item is converted up front, so that the declared peak covers the
  // converters' overshoot and the length of later items is exact.
  int peak = LSF16::GetPeak();
  for (const LSoundCatItem& in : items) {
    Item item{LSoundSource(), 0, in.isSource};
    if (in.isSource) {
      item.source = in.source;
      if (item.source.IsOpen() && convert) {
        convert(GetSampleRate(), GetChannels(), item.source);
      }
      // An item that could not be brought to this format is left out
      // rather than read into a buffer of another layout.
      if (!item.source.IsOpen() || item.source.GetSampleRate() != GetSampleRate() ||
          item.source.GetChannels() != GetChannels()) {
        item.source.Close();
      } else {
        peak = std::max(peak, item.source.GetPeak());
      }
    } else {
      item.frames = std::max(0, in.silence.GetSamples(GetSampleRate()));
    }
    items_.push_back(item);
  }
  SetPeak(peak);
  Open(0);
}

int LSSRCCat::Length(const Item& item) const
{
  return item.isSource ? std::max(0, item.source.GetEndSample()) : item.frames;
}

void LSSRCCat::Open(size_t index)
{
  index_ = index;
  if (index_ >= items_.size()) {
    return;
  }
  Item& item = items_[index_];
  if (item.isSource) {
    item.source.Seek(0);
  } else {
    silenceLeft_ = item.frames;
  }
}

int LSSRCCat::Read(int* samples, int frames)
{
  const unsigned char ch = GetChannels();
  int done = 0;
  while (done < frames) {
    int* out = samples + static_cast<size_t>(done) * ch;
    const int want = frames - done;
    if (extra_ > 0) {
      const int n = std::min(extra_, want);
      ClearAudioBuffer(out, n, ch);
      extra_ -= n;
      done += n;
      continue;
    }
    if (index_ >= items_.size()) {
      break;
    }
    Item& item = items_[index_];
    int n = 0;
    if (item.isSource) {
      n = std::min(item.source.Read(out, want), want);
    } else {
      n = std::min(silenceLeft_, want);
      ClearAudioBuffer(out, n, ch);
      silenceLeft_ -= n;
    }
    if (n <= 0) {
      Open(index_ + 1);
      continue;
    }
    done += n;
  }
  if (done < frames) {
    ClearAudioBuffer(samples + static_cast<size_t>(done) * ch, frames - done, ch);
  }
  position_ += done;
  return done;
}

int LSSRCCat::GetEndSample() const
{
  int64_t end = static_cast<int64_t>(position_) + extra_;
  if (index_ < items_.size()) {
    const Item& item = items_[index_];
    end += item.isSource ? std::max(0, item.source.GetEndSample() - item.source.GetPositionSample()) : silenceLeft_;
    for (size_t i = index_ + 1; i < items_.size(); ++i) {
      end += Length(items_[i]);
    }
  }
  return static_cast<int>(std::min<int64_t>(end, INT_MAX));
}

void LSSRCCat::Seek(int frame)
{
  position_ = frame;
  extra_ = 0;
  if (frame < 0) {
    Open(0);
    extra_ = -static_cast<int64_t>(frame) > INT_MAX ? INT_MAX : -frame;
    return;
  }
  int left = frame;
  for (size_t i = 0; i < items_.size(); ++i) {
    const int length = Length(items_[i]);
    if (left < length) {
      Open(i);
      if (items_[i].isSource) {
        items_[i].source.Seek(left);
      } else {
        silenceLeft_ = length - left;
      }
      return;
    }
    left -= length;
  }
  Open(items_.size());
  extra_ = GetSampleRate();
}
