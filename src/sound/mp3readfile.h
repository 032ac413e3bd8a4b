#pragma once

#include "base/fileclasses.h"

// The MP3 decoder's input file: a shared read file (no lock: other readers and the recordings library
// may hold the same file), read through a fixed buffer so that the byte-wise header search costs no
// system call per byte. Used by one decoder thread at a time.
class MP3ReadFile
{
public:
    explicit MP3ReadFile(const char* path);
    MP3ReadFile(const MP3ReadFile&) = delete;
    MP3ReadFile& operator=(const MP3ReadFile&) = delete;

    bool IsOpen() const { return (bool)mFile; }

    // Copies up to `bytes` bytes; returns how many arrived (fewer only at the end of the file).
    int Read(void* out, int bytes);
    // The next byte, or -1 at the end of the file.
    int ReadByte()
    {
        if (mBufferPos < mBufferFill)
            return mBuffer[mBufferPos++];
        return ReadByteSlow();
    }
    // Moves the read offset; offsets beyond the end are allowed and read nothing.
    void Seek(long long offset);
    void Skip(long long bytes) { Seek(Tell() + bytes); }
    long long Tell() const { return mBufferStart + mBufferPos; }

    long long GetSize() const { return mSize; }
    // The length used by every estimate: the size without its last 128 bytes (where an ID3v1 tag may
    // sit), never below 0.
    long long GetLength() const { return mSize > 128 ? mSize - 128 : 0; }
    // The length minus the current offset: what is left for the estimates. Negative once reading has
    // gone into the last 128 bytes.
    long long GetBytesToEnd() const { return GetLength() - Tell(); }

private:
    int ReadByteSlow();
    bool Fill();

    static constexpr int kBufferSize = 32768;

    LSharedReadFile mFile;
    long long mSize = 0;
    long long mBufferStart = 0;  // file offset of mBuffer[0]
    int mBufferFill = 0;
    int mBufferPos = 0;
    unsigned char mBuffer[kBufferSize];
};
