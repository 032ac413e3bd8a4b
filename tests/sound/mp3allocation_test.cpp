// Decoding allocates nothing: every buffer belongs to the source object. Counted with a replaced
// global operator new while a source reads, seeks and reads on.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "sound/mp3.h"
#include "sound/mp3testutil.h"

namespace {
std::atomic<long> gAllocations{0};
}

void* operator new(std::size_t size)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    std::abort();
}

// The sound tests share one program: every plain allocation form goes
// through malloc, so whatever any test allocates pairs with the free below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

TEST(MP3Allocation, ReadingAndSeekingAllocateNothing)
{
    mp3test::TempDir dir;
    mp3test::WriteTestWav(dir.File("in.wav"), 44100, 2, 5.0);
    for (const char* options : {"-b 128 -m j", "-V 4", "--resample 22.05 -b 48 -m m"}) {
        std::string mp3 = dir.File("in.mp3");
        ASSERT_TRUE(mp3test::Run(std::string("lame --quiet ") + options + " '" + dir.File("in.wav") + "' '" + mp3 + "'"));
        LSoundSource s = LMP3File::OpenSource(mp3.c_str());
        ASSERT_TRUE(s.IsOpen());
        std::vector<int> buf(5000 * 2);
        long before = gAllocations.load();
        int total = 0;
        while (s.Read(buf.data(), 5000) > 0)
            total += 5000;
        s.Seek(total / 2);
        s.Read(buf.data(), 3000);
        s.Seek(7);
        s.Read(buf.data(), 1);
        EXPECT_EQ(gAllocations.load() - before, 0) << options;
        EXPECT_GT(total, s.GetSampleRate() * 4) << "the whole file was read";
    }
}

}  // namespace
