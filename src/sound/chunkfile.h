#pragma once
// Walking the chunks of RIFF (little-endian sizes) and IFF (big-endian
// sizes) files: an identifier of four bytes, a 32-bit size, a body padded to
// an even length.
#include <cstdint>

#include "base/fileref.h"

enum class LChunkByteOrder { Little, Big };

uint32_t LLoadLE32(const unsigned char* bytes);
uint16_t LLoadLE16(const unsigned char* bytes);
uint32_t LLoadBE32(const unsigned char* bytes);
uint16_t LLoadBE16(const unsigned char* bytes);

// Reads chunk headers from the file's current offset, skipping every chunk
// that is not `id` (with its pad byte).  True with the file at the start of
// the chunk's body and its size in `size`; false when the file ends first
// or a chunk's padded size does not fit a signed 32-bit offset.
bool LFindChunk(LReadFileRef& file, const char* id, LChunkByteOrder order, uint32_t& size);

// Moves past the rest of a chunk body of `size` bytes of which `used` have
// been read, and past its pad byte.
bool LSkipChunkRest(LReadFileRef& file, uint32_t size, uint32_t used);
