// Fuzz target for the MP3 decoder: arbitrary bytes go through the frame decoder frame by frame, the
// way a damaged file reaches it, and must never crash it or make it read or write out of bounds.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/mp3framedecoder.h"
#include "sound/mp3header.h"

namespace {

void FuzzFrameDecoder(const uint8_t* data, size_t size)
{
    static MP3FrameDecoder decoder;
    static int out[1152 * 2];
    unsigned char side[36];
    std::vector<unsigned char> frame;
    bool configured = false;
    size_t pos = 0;
    while (pos + 4 <= size) {
        MP3Header h;
        if (!h.Parse(data + pos)) {
            pos++;
            continue;
        }
        if (!configured) {
            decoder.Configure(h);
            configured = true;
        }
        // A frame cut off by the end of the input is decoded from what is there, zero-padded.
        frame.assign(data + pos, data + (pos + h.GetFrameLength() < size ? pos + h.GetFrameLength() : size));
        frame.resize(h.GetFrameLength(), 0);
        size_t sideAt = 4 + h.GetCrcLength();
        std::memset(side, 0, sizeof(side));
        std::memcpy(side, frame.data() + sideAt, h.GetSideInfoLength());
        decoder.DecodeFrame(h, side, frame.data() + sideAt + h.GetSideInfoLength(), h.GetMainDataLength(), out);
        pos += h.GetFrameLength();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzFrameDecoder(data, size);
    return 0;
}
