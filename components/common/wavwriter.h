#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/uniquefd.h"

// Writes a canonical 16-bit PCM RIFF/WAVE file (44-byte header: "fmt " of
// 16 bytes with format tag 1, then "data").  The file is built under a
// temporary name beside the target and renamed onto it by Commit, so a
// reader never sees a half-written file at the target path; a writer that
// is destroyed uncommitted removes its temporary file.
class LWavWriter {
public:
  LWavWriter() = default;
  ~LWavWriter();
  LWavWriter(const LWavWriter&) = delete;
  LWavWriter& operator=(const LWavWriter&) = delete;

  // Creates the temporary file for path.  False (reported) on failure.
  bool Create(const char* path);

  // Fixes rate and channel count; must come before the first Append.
  bool SetFormat(long rate, int channels);
  int Channels() const { return channels_; }

  // Interleaved samples in host byte order.
  bool Append(const int16_t* samples, size_t frames);
  // Interleaved samples already in little-endian byte order.
  bool AppendLittleEndian(const void* bytes, size_t size);

  // Completes the header and renames the file onto the target path.
  bool Commit();
  // Removes the temporary file; the target path is left as it was.
  void Discard();

private:
  bool Reserve(size_t bytes);
  bool FlushBuffer();
  bool WriteHeader();

  std::string target_;
  std::string temporary_;
  LUniqueFD fd_;
  long rate_ = 0;
  int channels_ = 0;
  uint64_t dataBytes_ = 0;
  std::vector<unsigned char> buffer_;
};
