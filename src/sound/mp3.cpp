#include "sound/mp3.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "audio/soundbase.h"

namespace {

uint32_t BigEndian32(const unsigned char* b)
{
  return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
}

int ClampToInt(long long v)
{
  return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : (int)v);
}

}  // namespace

LMP3Source::LMP3Source(const char* path) : LSoundSourceBase(44100, 1, 0x200000), file_(path)
{
  if (!file_.IsOpen()) {
    SetError(kMP3ErrorOpen);
    return;
  }
  if (!DecodeInitialHeader())
    SetError(kMP3ErrorNoHeader);
}

bool LMP3Source::DecodeInitialHeader()
{
  if (!MP3ReadHeader(file_, firstHeader_))
    return false;
  long long frameStart = file_.Tell() - 4 - firstHeader_.GetCrcLength();
  dataStart_ = frameStart;
  if (!ReadVbrHeader(frameStart)) {
    // An ordinary first frame: average the bit rates of the first 8 frames.
    long long sum = 0;
    int count = 0;
    MP3Header h = firstHeader_;
    long long start = frameStart;
    for (;;) {
      sum += h.bitRate;
      if (++count == 8)
        break;
      file_.Seek(start + h.GetFrameLength());
      if (!MP3ReadHeader(file_, h))
        break;
      start = file_.Tell() - 4 - h.GetCrcLength();
    }
    firstHeader_.bitRate = (int)(count == 8 ? sum >> 3 : sum / count);
  }
  // Decoding starts at the first audio frame (the estimates and seeks count from there, so that a
  // tag or junk before it does not shift them).
  file_.Seek(dataStart_);

  SetSampleRate(firstHeader_.GetSampleRate());
  SetChannels(firstHeader_.IsStereo() ? 2 : 1);
  stereo_ = firstHeader_.IsStereo() ? 1 : 0;
  samplesPerFrame_ = firstHeader_.GetSamplesPerFrame();
  readIndex_ = samplesPerFrame_;
  if (vbrFrames_ > 0) {
    bytesPerFrame_ = (double)file_.GetBytesToEnd() / vbrFrames_;
    end_ = ClampToInt((long long)vbrFrames_ * samplesPerFrame_);
  } else {
    bytesPerFrame_ = (double)firstHeader_.bitRate * firstHeader_.GetSlotFactor() / firstHeader_.GetSampleRate();
    end_ = ClampToInt(FramesLeft() * samplesPerFrame_);
  }
  decoder_.Configure(firstHeader_);
  return true;
}

// The first frame of many files is an information frame: its side information is all zero and its
// main data starts with "Xing" (with a frame count when flag bit 0 is set) or "VBRI". Returns true
// when it gave a frame count; decoding then starts after it. Otherwise the file stands where it was.
bool LMP3Source::ReadVbrHeader(long long frameStart)
{
  int sideLength = firstHeader_.GetSideInfoLength();
  unsigned char b[32 + 4];
  long long afterHeader = file_.Tell();
  bool zeroSide = file_.Read(b, sideLength + 4) == sideLength + 4;
  for (int i = 0; zeroSide && i < sideLength; i++)
    zeroSide = b[i] == 0;
  if (!zeroSide) {
    file_.Seek(afterHeader);
    return false;
  }
  const unsigned char* tag = b + sideLength;
  long long frameEnd = frameStart + firstHeader_.GetFrameLength();
  long long count = -1;
  if (std::memcmp(tag, "VBRI", 4) == 0) {
    unsigned char v[14];
    if (file_.Read(v, 14) == 14)
      count = BigEndian32(v + 10);
  } else if (std::memcmp(tag, "Xing", 4) == 0) {
    unsigned char x[8];
    if (file_.Read(x, 8) == 8 && (BigEndian32(x) & 1))
      count = BigEndian32(x + 4);
  }
  // A count of 0 would divide by zero and one beyond the sample index range would overflow it: such
  // a frame is treated as an ordinary one.
  if (count <= 0 || count > INT_MAX / 1152) {
    file_.Seek(afterHeader);
    return false;
  }
  vbrFrames_ = (int)count;
  dataStart_ = frameEnd;
  return true;
}

bool LMP3Source::DecodeHeader()
{
  for (int tries = 0; tries < kHeaderTries; tries++) {
    if (!MP3ReadHeader(file_, header_))
      return false;
    if (header_.version == firstHeader_.version && header_.sampleRateIndex == firstHeader_.sampleRateIndex &&
        header_.IsStereo() == (stereo_ != 0))
      return true;
    // A foreign header is passed over; the search goes on right after it.
  }
  return false;
}

bool LMP3Source::DecodeFrame(int* out, bool preroll)
{
  for (;;) {
    if (!DecodeHeader())
      return false;
    int sideLength = header_.GetSideInfoLength();
    int mainLength = header_.GetMainDataLength();
    if (file_.Read(side_, sideLength) < sideLength)
      return false;
    std::memset(side_ + sideLength, 0, 4);
    if (file_.Read(main_, mainLength) < mainLength)
      return false;
    // A frame whose reservoir lacks bytes is skipped, except in the pre-roll of a seek, where it
    // still counts as one of the frames before the target (its bytes are what later frames need).
    if (decoder_.DecodeFrame(header_, side_, main_, mainLength, out) || preroll) {
      decodedEnd_ += samplesPerFrame_;
      RefreshEnd();
      return true;
    }
  }
}

// MP3 frames in the bytes left: trunc(bytes to end / bytes per frame + 0.9). The estimate leaves out
// the last 128 bytes, and low-rate frames can lie entirely inside them (as can a short stream behind
// a long tag): while the file has bytes left, at least one more frame is assumed, and the end is set
// when decoding ends.
long long LMP3Source::FramesLeft() const
{
  double frames = std::trunc(file_.GetBytesToEnd() / bytesPerFrame_ + 0.9);
  if (frames < 1.0 && file_.Tell() < file_.GetSize())
    return 1;
  return frames > 0.0 ? (long long)frames : 0;
}

void LMP3Source::RefreshEnd()
{
  if (vbrFrames_ > 0)
    return;
  end_ = ClampToInt(decodedEnd_ + FramesLeft() * samplesPerFrame_);
}

void LMP3Source::StreamEnded()
{
  if (end_ > decodedEnd_)
    end_ = ClampToInt(decodedEnd_);
}

int LMP3Source::Read(int* buffer, int frames)
{
  if (frames <= 0)
    return 0;
  int channels = GetChannels();
  if (Error()) {
    ClearAudioBuffer(buffer, frames, (unsigned char)channels);
    return 0;
  }
  long long pos = position_;
  position_ = ClampToInt(pos + frames);
  int* out = buffer;
  int remaining = frames;
  if (pos < 0) {
    int silent = (long long)remaining < -pos ? remaining : (int)-pos;
    ClearAudioBuffer(out, silent, (unsigned char)channels);
    out += silent * channels;
    remaining -= silent;
    pos += silent;
  }
  while (remaining > 0 && pos < end_) {
    int beforeEnd = (int)(end_ - pos);
    if (readIndex_ >= samplesPerFrame_) {
      if (remaining >= samplesPerFrame_ && beforeEnd >= samplesPerFrame_) {
        if (!DecodeFrame(out)) {
          StreamEnded();
          break;
        }
        out += samplesPerFrame_ * channels;
        remaining -= samplesPerFrame_;
        pos += samplesPerFrame_;
        continue;
      }
      if (!DecodeFrame(decoded_)) {
        StreamEnded();
        break;
      }
      readIndex_ = 0;
      beforeEnd = (int)(end_ - pos);
      if (beforeEnd <= 0)
        break;
    }
    int n = samplesPerFrame_ - readIndex_;
    if (n > remaining)
      n = remaining;
    if (n > beforeEnd)
      n = beforeEnd;
    std::memcpy(out, decoded_ + readIndex_ * channels, sizeof(int) * n * channels);
    readIndex_ += n;
    out += n * channels;
    remaining -= n;
    pos += n;
  }
  if (remaining > 0)
    ClearAudioBuffer(out, remaining, (unsigned char)channels);
  return frames - remaining;
}

void LMP3Source::Seek(int frame)
{
  position_ = frame;
  readIndex_ = samplesPerFrame_;
  // At or past the end there is nothing to decode: reading there gives silence. (Decoding the last
  // frame instead would leave the decoded stream behind the position.)
  if (Error() || frame >= end_)
    return;
  int target = frame < 0 ? 0 : frame;
  int index = target / samplesPerFrame_;
  int offset = target % samplesPerFrame_;
  int start = index > kPrerollFrames ? index - kPrerollFrames : 0;
  file_.Seek(start ? FindFrameStart(dataStart_ + (long long)(start * bytesPerFrame_)) : dataStart_);
  decoder_.ResetFilters();
  decodedEnd_ = (long long)start * samplesPerFrame_;
  for (int i = start; i < index; i++) {
    if (!DecodeFrame(decoded_, true)) {
      StreamEnded();
      return;
    }
  }
  if (DecodeFrame(decoded_))
    readIndex_ = offset;
  else
    StreamEnded();
}

// Frame starts of a constant-rate file lie within a byte of trunc(n × bytes per frame), on either side
// (encoders pad frames in different patterns); starting the search exactly there would miss frame n
// whenever it starts a byte earlier. So the search starts a few bytes early, and a header counts only
// when the next frame's header follows where its length says (or the file ends): a false header in
// the end of the previous frame's data is passed over.
long long LMP3Source::FindFrameStart(long long from)
{
  from = from - kSeekSlack > dataStart_ ? from - kSeekSlack : dataStart_;
  for (int tries = 0; tries < 4 * kSeekSlack; tries++) {
    file_.Seek(from);
    MP3Header h;
    if (!MP3ReadHeader(file_, h))
      break;
    long long at = file_.Tell() - 4 - h.GetCrcLength();
    file_.Seek(at + h.GetFrameLength());
    unsigned char next[4];
    MP3Header n;
    if (file_.Read(next, 4) < 4 || (n.Parse(next) && n.version == h.version && n.sampleRateIndex == h.sampleRateIndex))
      return at;
    from = at + 1;
  }
  return from;
}

LSoundSource LMP3File::OpenSource(const char* path)
{
  return LSoundSource(new LMP3Source(path));
}
