#pragma once
// MPEG audio Layer III frame headers and an incremental checker that follows
// a byte stream frame by frame.  Used by the listener load client (and the
// audio engine test) to prove that a listener received an unbroken sequence
// of frames.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// One parsed Layer III frame header.
struct LMp3FrameHeader {
  int version = 0;     // the header's 2-bit field: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  int sampleRate = 0;  // Hz
  int bitRate = 0;     // kbit/s
  bool padding = false;
  int length = 0;  // whole frame in bytes, header included

  // Frames of one stream keep version and sample rate; the bit rate may vary.
  bool SameStream(const LMp3FrameHeader& other) const
  {
    return version == other.version && sampleRate == other.sampleRate;
  }
};

// Parses the 4 bytes at p as a Layer III frame header.  Free-format frames
// (bit-rate index 0) cannot be sized from the header and are refused, as are
// the reserved version, bit-rate and sample-rate codes.
inline bool LMp3ParseFrameHeader(const unsigned char* p, LMp3FrameHeader& out)
{
  static constexpr int kBitRates[2][16] = {
      // MPEG-2 and MPEG-2.5
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      // MPEG-1
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
  };
  static constexpr int kSampleRates[4][3] = {
      {11025, 12000, 8000},   // MPEG-2.5
      {0, 0, 0},              // reserved
      {22050, 24000, 16000},  // MPEG-2
      {44100, 48000, 32000},  // MPEG-1
  };
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
    return false;
  const int version = (p[1] >> 3) & 3;
  const int layer = (p[1] >> 1) & 3;  // 1 is Layer III
  const int bitIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  if (version == 1 || layer != 1 || rateIndex == 3)
    return false;
  const bool mpeg1 = version == 3;
  const int kbps = kBitRates[mpeg1][bitIndex];
  if (kbps == 0)
    return false;
  out.version = version;
  out.sampleRate = kSampleRates[version][rateIndex];
  out.bitRate = kbps;
  out.padding = (p[2] >> 1) & 1;
  // A Layer III frame carries 1152 samples in MPEG-1 and 576 in MPEG-2/2.5,
  // hence 144 or 72 bytes per kbit/s per kHz; padding adds one byte.
  out.length = (mpeg1 ? 144000 : 72000) * kbps / out.sampleRate + (out.padding ? 1 : 0);
  return true;
}

// Follows a stream of Layer III frames fed in pieces of any size.  Until the
// first frame is found (the stream may start mid-frame) bytes are searched for
// a header that is confirmed by a second one exactly a frame later.  After
// that every frame boundary must hold a header of the same stream; where it
// does not, one fault is counted and the search resumes.
// Memory stays small while in sync: only frame counters and at most one
// header's bytes are kept.
class LMp3FrameChecker {
public:
  void Feed(const unsigned char* data, size_t size)
  {
    while (size > 0) {
      switch (state_) {
      case State::kId3Probe: ProbeId3(data, size); break;
      case State::kSkip: {
        const size_t n = std::min<size_t>(size, skip_);
        skip_ -= n;
        data += n;
        size -= n;
        if (skip_ == 0)
          state_ = afterSkip_;
        break;
      }
      case State::kHeader: {
        const size_t n = std::min<size_t>(size, 4 - headerLength_);
        std::copy(data, data + n, header_ + headerLength_);
        headerLength_ += n;
        data += n;
        size -= n;
        if (headerLength_ == 4)
          CheckHeader();
        break;
      }
      case State::kSearch:
        search_.insert(search_.end(), data, data + size);
        size = 0;
        if (Search()) {
          // The search buffer now starts at a confirmed header: replay it
          // through the in-sync states from a buffer of its own, since a
          // later fault refills search_.
          pending_.swap(search_);
          search_.clear();
          data = pending_.data();
          size = pending_.size();
        }
        break;
      }
    }
    if (state_ != State::kSearch) {
      std::vector<unsigned char>().swap(search_);
      std::vector<unsigned char>().swap(pending_);
    }
  }

  uint64_t Frames() const { return frames_; }
  // Lost syncs after the first frame: torn, missing or foreign frames.
  uint64_t Faults() const { return faults_; }
  // Bytes skipped before the first frame (an ID3v2 tag is not counted).
  uint64_t LeadingBytes() const { return leading_; }
  // Bytes skipped while searching again after a fault.
  uint64_t LostBytes() const { return lost_; }
  bool Synced() const { return synced_; }
  // The first frame began at the first byte of the stream (after an ID3v2 tag).
  bool Aligned() const { return synced_ && leading_ == 0; }
  // The bytes so far end inside a frame, or in bytes not yet placed.
  bool TailIncomplete() const
  {
    return (state_ == State::kSkip && afterSkip_ == State::kHeader) ||
           (state_ == State::kHeader && headerLength_ > 0) || (state_ == State::kSearch && !search_.empty());
  }

private:
  enum class State { kId3Probe, kSkip, kHeader, kSearch };

  // A stream (or a file) may open with an ID3v2 tag: "ID3", version, flags,
  // and a 28-bit size in four 7-bit bytes, plus a 10-byte footer if flagged.
  void ProbeId3(const unsigned char*& data, size_t& size)
  {
    static constexpr unsigned char kMagic[3] = {'I', 'D', '3'};
    while (size > 0 && probeLength_ < sizeof(probe_)) {
      probe_[probeLength_++] = *data++;
      --size;
      const size_t n = std::min<size_t>(probeLength_, 3);
      if (!std::equal(probe_, probe_ + n, kMagic)) {
        // Not a tag: these bytes are the start of the audio.  They are too
        // few to hold a confirmed frame, so searching them can wait for more.
        search_.assign(probe_, probe_ + probeLength_);
        state_ = State::kSearch;
        return;
      }
    }
    if (probeLength_ < sizeof(probe_))
      return;
    skip_ = (size_t(probe_[6] & 0x7F) << 21) | (size_t(probe_[7] & 0x7F) << 14) | (size_t(probe_[8] & 0x7F) << 7) |
            size_t(probe_[9] & 0x7F);
    if (probe_[5] & 0x10)
      skip_ += 10;
    state_ = skip_ > 0 ? State::kSkip : State::kSearch;
    afterSkip_ = State::kSearch;
  }

  void CheckHeader()
  {
    LMp3FrameHeader h;
    headerLength_ = 0;
    if (LMp3ParseFrameHeader(header_, h) && h.SameStream(format_)) {
      ++frames_;
      skip_ = size_t(h.length) - 4;
      state_ = State::kSkip;
      afterSkip_ = State::kHeader;
      return;
    }
    ++faults_;
    search_.assign(header_, header_ + 4);
    state_ = State::kSearch;
  }

  // Looks in search_ for a header confirmed by the next one.  On success
  // search_ starts at that header and the state is kHeader; otherwise the
  // bytes that cannot start a frame are dropped and counted.
  bool Search()
  {
    size_t i = 0;
    bool found = false;
    for (; i + 4 <= search_.size(); ++i) {
      LMp3FrameHeader h;
      if (!LMp3ParseFrameHeader(&search_[i], h) || (synced_ && !h.SameStream(format_)))
        continue;
      const size_t next = i + size_t(h.length);
      if (next + 4 > search_.size())
        break;  // cannot confirm yet: keep from here and wait for more
      LMp3FrameHeader h2;
      if (LMp3ParseFrameHeader(&search_[next], h2) && h2.SameStream(h)) {
        format_ = h;
        found = true;
        break;
      }
    }
    (synced_ ? lost_ : leading_) += i;
    search_.erase(search_.begin(), search_.begin() + i);
    if (found) {
      synced_ = true;
      state_ = State::kHeader;
    }
    return found;
  }

  State state_ = State::kId3Probe;
  State afterSkip_ = State::kHeader;
  size_t skip_ = 0;
  unsigned char probe_[10] = {};
  size_t probeLength_ = 0;
  unsigned char header_[4] = {};
  size_t headerLength_ = 0;
  LMp3FrameHeader format_;
  bool synced_ = false;
  uint64_t frames_ = 0;
  uint64_t faults_ = 0;
  uint64_t leading_ = 0;
  uint64_t lost_ = 0;
  std::vector<unsigned char> search_;
  std::vector<unsigned char> pending_;
};
