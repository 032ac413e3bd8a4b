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

LMP3Source::LMP3Source(const char* path) : LSoundSourceBase(44100, 1, 0x200000), mFile(path)
{
    if (!mFile.IsOpen()) {
        SetError(kMP3ErrorOpen);
        return;
    }
    if (!DecodeInitialHeader())
        SetError(kMP3ErrorNoHeader);
}

bool LMP3Source::DecodeInitialHeader()
{
    if (!mFirstHeader.ReadHeader(mFile))
        return false;
    long long frameStart = mFile.Tell() - 4 - mFirstHeader.GetCrcLength();
    mDataStart = frameStart;
    if (!ReadVbrHeader(frameStart)) {
        // An ordinary first frame: average the bit rates of the first 8 frames.
        long long sum = 0;
        int count = 0;
        MP3Header h = mFirstHeader;
        long long start = frameStart;
        for (;;) {
            sum += h.bitRate;
            if (++count == 8)
                break;
            mFile.Seek(start + h.GetFrameLength());
            if (!h.ReadHeader(mFile))
                break;
            start = mFile.Tell() - 4 - h.GetCrcLength();
        }
        mFirstHeader.bitRate = (int)(count == 8 ? sum >> 3 : sum / count);
    }
    // Decoding starts at the first audio frame (the estimates and seeks count from there, so that a
    // tag or junk before it does not shift them).
    mFile.Seek(mDataStart);

    SetSampleRate(mFirstHeader.GetSampleRate());
    SetChannels(mFirstHeader.IsStereo() ? 2 : 1);
    mStereo = mFirstHeader.IsStereo() ? 1 : 0;
    mSamplesPerFrame = mFirstHeader.GetSamplesPerFrame();
    mReadIndex = mSamplesPerFrame;
    if (mVbrFrames > 0) {
        mBytesPerFrame = (double)mFile.GetBytesToEnd() / mVbrFrames;
        mEnd = ClampToInt((long long)mVbrFrames * mSamplesPerFrame);
    } else {
        mBytesPerFrame = (double)mFirstHeader.bitRate * mFirstHeader.GetSlotFactor() / mFirstHeader.GetSampleRate();
        mEnd = ClampToInt(FramesLeft() * mSamplesPerFrame);
    }
    mDecoder.Configure(mFirstHeader);
    return true;
}

// The first frame of many files is an information frame: its side information is all zero and its
// main data starts with "Xing" (with a frame count when flag bit 0 is set) or "VBRI". Returns true
// when it gave a frame count; decoding then starts after it. Otherwise the file stands where it was.
bool LMP3Source::ReadVbrHeader(long long frameStart)
{
    int sideLength = mFirstHeader.GetSideInfoLength();
    unsigned char b[32 + 4];
    long long afterHeader = mFile.Tell();
    bool zeroSide = mFile.Read(b, sideLength + 4) == sideLength + 4;
    for (int i = 0; zeroSide && i < sideLength; i++)
        zeroSide = b[i] == 0;
    if (!zeroSide) {
        mFile.Seek(afterHeader);
        return false;
    }
    const unsigned char* tag = b + sideLength;
    long long frameEnd = frameStart + mFirstHeader.GetFrameLength();
    long long count = -1;
    if (std::memcmp(tag, "VBRI", 4) == 0) {
        unsigned char v[14];
        if (mFile.Read(v, 14) == 14)
            count = BigEndian32(v + 10);
    } else if (std::memcmp(tag, "Xing", 4) == 0) {
        unsigned char x[8];
        if (mFile.Read(x, 8) == 8 && (BigEndian32(x) & 1))
            count = BigEndian32(x + 4);
    }
    // A count of 0 would divide by zero and one beyond the sample index range would overflow it: such
    // a frame is treated as an ordinary one.
    if (count <= 0 || count > INT_MAX / 1152) {
        mFile.Seek(afterHeader);
        return false;
    }
    mVbrFrames = (int)count;
    mDataStart = frameEnd;
    return true;
}

bool LMP3Source::DecodeHeader()
{
    for (int tries = 0; tries < kHeaderTries; tries++) {
        if (!mHeader.ReadHeader(mFile))
            return false;
        if (mHeader.version == mFirstHeader.version && mHeader.sampleRateIndex == mFirstHeader.sampleRateIndex
            && mHeader.IsStereo() == (mStereo != 0))
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
        int sideLength = mHeader.GetSideInfoLength();
        int mainLength = mHeader.GetMainDataLength();
        if (mFile.Read(mSide, sideLength) < sideLength)
            return false;
        std::memset(mSide + sideLength, 0, 4);
        if (mFile.Read(mMain, mainLength) < mainLength)
            return false;
        // A frame whose reservoir lacks bytes is skipped, except in the pre-roll of a seek, where it
        // still counts as one of the frames before the target (its bytes are what later frames need).
        if (mDecoder.DecodeFrame(mHeader, mSide, mMain, mainLength, out) || preroll) {
            mDecodedEnd += mSamplesPerFrame;
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
    double frames = std::trunc(mFile.GetBytesToEnd() / mBytesPerFrame + 0.9);
    if (frames < 1.0 && mFile.Tell() < mFile.GetSize())
        return 1;
    return frames > 0.0 ? (long long)frames : 0;
}

void LMP3Source::RefreshEnd()
{
    if (mVbrFrames > 0)
        return;
    mEnd = ClampToInt(mDecodedEnd + FramesLeft() * mSamplesPerFrame);
}

void LMP3Source::StreamEnded()
{
    if (mEnd > mDecodedEnd)
        mEnd = ClampToInt(mDecodedEnd);
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
    long long pos = mPosition;
    mPosition = ClampToInt(pos + frames);
    int* out = buffer;
    int remaining = frames;
    if (pos < 0) {
        int silent = (long long)remaining < -pos ? remaining : (int)-pos;
        ClearAudioBuffer(out, silent, (unsigned char)channels);
        out += silent * channels;
        remaining -= silent;
        pos += silent;
    }
    while (remaining > 0 && pos < mEnd) {
        int beforeEnd = (int)(mEnd - pos);
        if (mReadIndex >= mSamplesPerFrame) {
            if (remaining >= mSamplesPerFrame && beforeEnd >= mSamplesPerFrame) {
                if (!DecodeFrame(out)) {
                    StreamEnded();
                    break;
                }
                out += mSamplesPerFrame * channels;
                remaining -= mSamplesPerFrame;
                pos += mSamplesPerFrame;
                continue;
            }
            if (!DecodeFrame(mDecoded)) {
                StreamEnded();
                break;
            }
            mReadIndex = 0;
            beforeEnd = (int)(mEnd - pos);
            if (beforeEnd <= 0)
                break;
        }
        int n = mSamplesPerFrame - mReadIndex;
        if (n > remaining)
            n = remaining;
        if (n > beforeEnd)
            n = beforeEnd;
        std::memcpy(out, mDecoded + mReadIndex * channels, sizeof(int) * n * channels);
        mReadIndex += n;
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
    mPosition = frame;
    mReadIndex = mSamplesPerFrame;
    // At or past the end there is nothing to decode: reading there gives silence. (Decoding the last
    // frame instead would leave the decoded stream behind the position.)
    if (Error() || frame >= mEnd)
        return;
    int target = frame < 0 ? 0 : frame;
    int index = target / mSamplesPerFrame;
    int offset = target % mSamplesPerFrame;
    int start = index > kPrerollFrames ? index - kPrerollFrames : 0;
    mFile.Seek(start ? FindFrameStart(mDataStart + (long long)(start * mBytesPerFrame)) : mDataStart);
    mDecoder.ResetFilters();
    mDecodedEnd = (long long)start * mSamplesPerFrame;
    for (int i = start; i < index; i++) {
        if (!DecodeFrame(mDecoded, true)) {
            StreamEnded();
            return;
        }
    }
    if (DecodeFrame(mDecoded))
        mReadIndex = offset;
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
    from = from - kSeekSlack > mDataStart ? from - kSeekSlack : mDataStart;
    for (int tries = 0; tries < 4 * kSeekSlack; tries++) {
        mFile.Seek(from);
        MP3Header h;
        if (!h.ReadHeader(mFile))
            break;
        long long at = mFile.Tell() - 4 - h.GetCrcLength();
        mFile.Seek(at + h.GetFrameLength());
        unsigned char next[4];
        MP3Header n;
        if (mFile.Read(next, 4) < 4 || (n.Parse(next) && n.version == h.version && n.sampleRateIndex == h.sampleRateIndex))
            return at;
        from = at + 1;
    }
    return from;
}

LSoundSource LMP3File::OpenSource(const char* path)
{
    return LSoundSource(new LMP3Source(path));
}
