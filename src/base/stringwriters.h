#pragma once
#include <cstddef>
#include <cstdint>

#include "base/stringlong.h"

// Writers take text one byte at a time (AddChar) and report how much they
// hold (GetLength).  The formatter and the encoders are templates over any
// writer; the target always stays zero-terminated.

// Fills a caller's buffer of `size` bytes; bytes beyond size - 1 are dropped
// silently.  Never allocates.
class LFixedLengthStringWriterTemplate {
public:
  LFixedLengthStringWriterTemplate(char* buffer, std::size_t size) : buffer_(buffer), size_(size)
  {
    if (size_ > 0) {
      buffer_[0] = 0;
    }
  }
  template <std::size_t N>
  explicit LFixedLengthStringWriterTemplate(char (&buffer)[N]) : LFixedLengthStringWriterTemplate(buffer, N)
  {
  }

  void AddChar(char c)
  {
    if (length_ + 1 < size_) {
      buffer_[length_++] = c;
      buffer_[length_] = 0;
    }
  }
  std::size_t GetLength() const { return length_; }

private:
  char* buffer_;
  std::size_t size_;
  std::size_t length_ = 0;
};

// Appends to a growing string, keeping what it held.
class LStringLongTemplateAppender {
public:
  explicit LStringLongTemplateAppender(LStringLongTemplate& text) : text_(text) { text_.GrowToSize(260); }
  void AddChar(char c) { text_.AddChar(c); }
  std::size_t GetLength() const { return text_.GetLength(); }

protected:
  LStringLongTemplate& text_;
};

// Replaces the content of a growing string.
class LStringLongTemplateWriter : public LStringLongTemplateAppender {
public:
  explicit LStringLongTemplateWriter(LStringLongTemplate& text) : LStringLongTemplateAppender(text)
  {
    text_.SetLength0();
  }
};

// Writes page text into a growing string, replacing its content.  Text is
// UTF-8 already, so bytes pass through untouched.
class LUTF8EncodeWriter : public LStringLongTemplateWriter {
public:
  using LStringLongTemplateWriter::LStringLongTemplateWriter;
};
