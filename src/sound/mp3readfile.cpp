#include "sound/mp3readfile.h"

#include <cstring>

MP3ReadFile::MP3ReadFile(const char* path) : mFile(path)
{
    if (mFile)
        mSize = (long long)mFile.GetFileSizeBytes();
}

bool MP3ReadFile::Fill()
{
    // Called when the buffer is used up: the next block starts at the current offset.
    mBufferStart += mBufferPos;
    mBufferPos = 0;
    mBufferFill = 0;
    if (!mFile || mBufferStart >= mSize || !mFile.Seek((uint64_t)mBufferStart))
        return false;
    mBufferFill = (int)mFile.Read(mBuffer, kBufferSize);
    return mBufferFill > 0;
}

int MP3ReadFile::ReadByteSlow()
{
    if (!Fill())
        return -1;
    return mBuffer[mBufferPos++];
}

int MP3ReadFile::Read(void* out, int bytes)
{
    unsigned char* dest = static_cast<unsigned char*>(out);
    int done = 0;
    while (done < bytes) {
        if (mBufferPos >= mBufferFill && !Fill())
            break;
        int n = mBufferFill - mBufferPos;
        if (n > bytes - done)
            n = bytes - done;
        std::memcpy(dest + done, mBuffer + mBufferPos, n);
        mBufferPos += n;
        done += n;
    }
    return done;
}

void MP3ReadFile::Seek(long long offset)
{
    if (offset < 0)
        offset = 0;
    if (offset >= mBufferStart && offset <= mBufferStart + mBufferFill) {
        mBufferPos = (int)(offset - mBufferStart);
        return;
    }
    mBufferStart = offset;
    mBufferPos = 0;
    mBufferFill = 0;
}
