#pragma once
// Sources that read interleaved fixed-size samples from a file: the sample
// data of WAV, AIFF and AU files, headerless raw files, and the decoded
// segments of MOH files.
//
// Positions before frame 0 and at or past the end read as silence, and a
// file that ends early inside its data reads as silence from there on, so
// every Read fills exactly the frames asked.  Like every source, one is used
// by one thread at a time.
#include <cstdint>
#include <vector>

#include "audio/soundbase.h"
#include "audio/soundsource.h"
#include "base/fileref.h"
#include "base/uniquefd.h"

class LSRCPCMFileBase : public LSoundSourceBase {
public:
  // Frames moved by one read of the file.
  static constexpr int kReadFrames = 8192;
  // Data size of a WAV or AU header meaning "up to the end of the file".
  static constexpr uint32_t kDataToEnd = 0xFFFFFFFF;

  // Takes over the open `file` (its descriptor is duplicated, so the
  // opener may close its own): the sample data starts at the file's current
  // offset and holds `dataBytes` bytes, or runs to the end of the file as
  // it is now for kDataToEnd.  A file that is not open gives error 4.
  LSRCPCMFileBase(LFileRef& file, int rate, unsigned char channels, int peak, int bytesPerSample, uint32_t dataBytes);

  // Makes the end follow the file: every GetEndSample takes it from the
  // file's current size, so a file that is still being written is read up
  // to what it holds by then.
  void FollowFileEnd() { followFile_ = true; }

  // Fills frames * channels samples; returns how many of the frames lie
  // before the end (0 once the position has passed it).
  int Read(int* samples, int frames) override;
  int GetPositionSample() const override { return position_; }
  int GetEndSample() const override;
  // Any frame, negative and past the end included.
  void Seek(int frame) override { position_ = frame; }

protected:
  // The template's sample buffer of kReadFrames frames, and its conversion
  // of the first `samples` stored samples into the internal scale.
  virtual void* GetBuffer() = 0;
  virtual void ConvertIn(int* out, int samples) const = 0;

private:
  void ReadChunk(int* samples, int64_t start, int frames);

  LUniqueFD fd_;
  int64_t dataStart_ = 0;
  int position_ = 0;
  int end_ = 0;
  int frameBytes_ = 2;
  int bytesPerSample_ = 1;
  bool followFile_ = false;
};

// T is one of the sample formats of audio/soundbase.h; its size is the
// stored sample's size.
template <class T>
class LSRCPCMFile : public LSRCPCMFileBase {
public:
  LSRCPCMFile(LFileRef& file, int rate, unsigned char channels, int peak, uint32_t dataBytes)
      : LSRCPCMFileBase(file, rate, channels, peak, sizeof(T), dataBytes),
        buffer_(static_cast<size_t>(kReadFrames) * GetChannels())
  {
  }

protected:
  void* GetBuffer() override { return buffer_.data(); }
  void ConvertIn(int* out, int samples) const override { ConvertSamplesIn(out, buffer_.data(), samples); }

private:
  std::vector<T> buffer_;
};

// Peak of the 8- and 16-bit integer formats (32767 * 16).
inline constexpr int kPeakPCM = 0x7FFF0;
