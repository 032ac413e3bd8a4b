#pragma once

#include <vector>

class MP3BitReader;
struct MP3GranuleInfo;

// One Huffman code table as the standard lists it: the code words of every value, separated by
// spaces; `size` values per row. Linbits extend the value 15.
struct MP3HuffmanCodeTable {
  const char* codes;
  int size;
  int linbits;
};

extern const MP3HuffmanCodeTable kMP3PairTables[32];
extern const MP3HuffmanCodeTable kMP3QuadTableA;

// Multi-level lookup tables for decoding, built once from the code tables above. A lookup peeks a
// level's bits: a leaf gives the value and how many of those bits its code used; a node points to the
// next level.
class MP3HuffmanTables {
public:
  struct Entry {
    unsigned short value;   // leaf: x << 4 | y (quadruples: v w x y as 4 bits); node: entry index
    unsigned char length;   // bits consumed at this level
    unsigned char subBits;  // 0 for a leaf; else the width of the next level
  };
  struct Table {
    int root = 0;      // index of the first level in `entries`
    int rootBits = 0;  // 0: no such table; every value is 0 and no bits are read
    int linbits = 0;
  };

  static const MP3HuffmanTables& Get();

  // Decodes one value of `table` (rootBits > 0).
  unsigned Decode(MP3BitReader& br, const Table& table) const;

  Table pair[32];
  Table quadA;
  std::vector<Entry> entries;

  MP3HuffmanTables(const MP3HuffmanTables&) = delete;
  MP3HuffmanTables& operator=(const MP3HuffmanTables&) = delete;

private:
  MP3HuffmanTables();
};

// Decodes the Huffman-coded lines of one granule and channel into 576 integer values (signed
// quantised lines). The reader stands after the scale factors; `endBit` is where the granule's data
// ends. Returns how many leading lines may be nonzero; the rest are set to 0.
int DecodeHuffmanData(MP3BitReader& br, int endBit, const MP3GranuleInfo& granule, int out[576]);
