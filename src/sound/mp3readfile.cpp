#include "sound/mp3readfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

MP3ReadFile::~MP3ReadFile()
{
    if (mFd >= 0)
        close(mFd);
}

bool MP3ReadFile::Open(const char* path)
{
    if (mFd >= 0) {
        close(mFd);
        mFd = -1;
    }
    mSize = 0;
    mBufferStart = 0;
    mBufferFill = 0;
    mBufferPos = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    mFd = fd;
    mSize = st.st_size;
    return true;
}

bool MP3ReadFile::Fill()
{
    // Called when the buffer is used up: the next block starts at the current offset.
    mBufferStart += mBufferPos;
    mBufferPos = 0;
    mBufferFill = 0;
    if (mFd < 0 || mBufferStart >= mSize)
        return false;
    for (;;) {
        ssize_t got = pread(mFd, mBuffer, kBufferSize, mBufferStart);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        mBufferFill = (int)got;
        return true;
    }
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
