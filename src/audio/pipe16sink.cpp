#include "audio/pipe16sink.h"

#include <new>

LPipe16Sink::LPipe16Sink(const char* command, int sampleRate, unsigned char channels)
    : LSoundSinkBase(sampleRate, channels),
      buffer_(new (std::nothrow) LSF16[static_cast<size_t>(GetChannels()) * kMaxFramesPerWrite])
{
  if (buffer_ == nullptr || !pipe_.Open(command))
    SetError();
}

LPipe16Sink::~LPipe16Sink()
{
  buffer_.reset();
  pipe_.Close();
}

int LPipe16Sink::Write(const int* samples, int frames)
{
  if (frames <= 0)
    return 0;
  position_ += frames;
  if (buffer_ == nullptr || !pipe_.IsOpen())
    return -1;
  const int channels = GetChannels();
  int total = 0;
  for (int done = 0; done < frames;) {
    int n = frames - done < kMaxFramesPerWrite ? frames - done : kMaxFramesPerWrite;
    ConvertSamplesOut<LSF16>(buffer_.get(), samples + static_cast<size_t>(done) * channels, n * channels);
    int written = Write(buffer_.get(), n * channels * static_cast<int>(sizeof(LSF16)));
    if (written < 0)
      return -1;
    total += written;
    done += n;
  }
  return total;
}

int LPipe16Sink::Write(const void* bytes, int size)
{
  if (size <= 0)
    return 0;
  int written = pipe_.Write(bytes, static_cast<unsigned int>(size));
  if (written < 0)
    SetError();
  return written;
}
