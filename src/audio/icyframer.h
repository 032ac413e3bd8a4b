#pragma once
// In-stream metadata for players that ask for it (request header
// "Icy-MetaData: 1"): after every kIcyMetaInterval audio bytes the stream
// carries one metadata block.  A block is a length byte n followed by n * 16
// bytes of text padded with zero bytes; the first block after a new title
// carries "StreamTitle='<title>';", every other block is the single byte 0.
//
// One framer per listener, used by whichever thread sends that listener's
// audio at the time (one at a time).  It counts the audio bytes passed
// through it, so the blocks fall at the right offsets however the stream
// is cut into sends.
#include <cstdint>

inline constexpr int kIcyMetaInterval = 16000;

class LIcyFramer {
public:
  // The title is cut at kMaxTitle bytes.
  explicit LIcyFramer(const char* title);

  LIcyFramer(const LIcyFramer&) = delete;
  LIcyFramer& operator=(const LIcyFramer&) = delete;

  // The next block carries this title.
  void SetTitle(const char* title);

  // Bytes Frame may add to audioBytes of audio, at most.
  int GetMaxGrowth(int audioBytes) const;

  // buffer holds size audio bytes and has room for capacity bytes; inserts
  // the blocks due within them and returns the new size.  capacity must be
  // at least size + GetMaxGrowth(size).
  int Frame(unsigned char* buffer, int size, int capacity);

private:
  // Titles are names of up to 259 characters; the block is kept small, as
  // the framer lives on a listener's stack.
  static constexpr int kMaxTitle = 259;
  static constexpr int kMaxBlock = 1 + (13 + kMaxTitle + 2 + 15) / 16 * 16;

  // Audio bytes until the next block.
  int untilBlock_ = kIcyMetaInterval;
  // The pending title block (length byte, text, padding), or the single
  // zero byte once it has been sent.
  unsigned char block_[kMaxBlock];
  int blockSize_ = 1;
};
