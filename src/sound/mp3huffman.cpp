#include "sound/mp3huffman.h"

#include <string>

#include "sound/mp3bitreader.h"
#include "sound/mp3sideinfo.h"

namespace {

// Width of each lookup level: long codes take a second (or third) lookup.
const int kLevelBits = 8;

struct Code {
  std::string bits;
  unsigned short value;
};

std::vector<Code> ParseCodes(const MP3HuffmanCodeTable& t)
{
  std::vector<Code> codes;
  std::string word;
  unsigned short index = 0;
  for (const char* p = t.codes;; p++) {
    if (*p == '0' || *p == '1') {
      word += *p;
      continue;
    }
    if (!word.empty()) {
      unsigned short x = index / t.size;
      unsigned short y = index % t.size;
      codes.push_back({word, (unsigned short)(x << 4 | y)});
      index++;
      word.clear();
    }
    if (*p == 0)
      break;
  }
  return codes;
}

int LevelBits(const std::vector<Code>& codes, size_t consumed)
{
  size_t longest = 0;
  for (const Code& c : codes)
    if (c.bits.size() - consumed > longest)
      longest = c.bits.size() - consumed;
  return longest < (size_t)kLevelBits ? (int)longest : kLevelBits;
}

// Builds one level for the codes that share their first `consumed` bits; returns its first index.
int BuildLevel(std::vector<MP3HuffmanTables::Entry>& entries, const std::vector<Code>& codes, size_t consumed, int bits)
{
  int base = (int)entries.size();
  entries.resize(base + (1 << bits), MP3HuffmanTables::Entry{0, (unsigned char)bits, 0});
  std::vector<std::vector<Code>> deeper(1 << bits);
  for (const Code& c : codes) {
    std::string rest = c.bits.substr(consumed);
    if ((int)rest.size() <= bits) {
      int first = rest.empty() ? 0 : std::stoi(rest, nullptr, 2) << (bits - rest.size());
      int count = 1 << (bits - rest.size());
      for (int i = 0; i < count; i++)
        entries[base + first + i] = {c.value, (unsigned char)rest.size(), 0};
    } else {
      deeper[std::stoi(rest.substr(0, bits), nullptr, 2)].push_back(c);
    }
  }
  for (int i = 0; i < (1 << bits); i++) {
    if (deeper[i].empty())
      continue;
    int subBits = LevelBits(deeper[i], consumed + bits);
    int sub = BuildLevel(entries, deeper[i], consumed + bits, subBits);
    entries[base + i] = {(unsigned short)sub, (unsigned char)bits, (unsigned char)subBits};
  }
  return base;
}

MP3HuffmanTables::Table BuildTable(std::vector<MP3HuffmanTables::Entry>& entries, const MP3HuffmanCodeTable& t)
{
  MP3HuffmanTables::Table table;
  if (!t.codes)
    return table;
  std::vector<Code> codes = ParseCodes(t);
  table.rootBits = LevelBits(codes, 0);
  table.root = BuildLevel(entries, codes, 0, table.rootBits);
  table.linbits = t.linbits;
  return table;
}

// Decodes one count1 quadruple into out[0..3].
inline void DecodeQuad(MP3BitReader& br, const MP3HuffmanTables& tables, bool tableB, int* out)
{
  unsigned v = tableB ? (~br.Read(4) & 15u) : tables.Decode(br, tables.quadA);
  for (int k = 0; k < 4; k++) {
    int bit = (v >> (3 - k)) & 1;
    out[k] = bit ? (br.ReadBit() ? -1 : 1) : 0;
  }
}

}  // namespace

MP3HuffmanTables::MP3HuffmanTables()
{
  entries.reserve(8192);
  for (int i = 0; i < 32; i++) {
    // Tables 16 to 23 and 24 to 31 share their codes; build each code table once.
    if (i > 0 && kMP3PairTables[i].codes && kMP3PairTables[i].codes == kMP3PairTables[i - 1].codes) {
      pair[i] = pair[i - 1];
      pair[i].linbits = kMP3PairTables[i].linbits;
      continue;
    }
    pair[i] = BuildTable(entries, kMP3PairTables[i]);
  }
  quadA = BuildTable(entries, kMP3QuadTableA);
}

const MP3HuffmanTables& MP3HuffmanTables::Get()
{
  static const MP3HuffmanTables tables;
  return tables;
}

unsigned MP3HuffmanTables::Decode(MP3BitReader& br, const Table& table) const
{
  const Entry* e = &entries[table.root + br.Peek(table.rootBits)];
  while (e->subBits) {
    br.Skip(e->length);
    e = &entries[e->value + br.Peek(e->subBits)];
  }
  br.Skip(e->length);
  return e->value;
}

int DecodeHuffmanData(MP3BitReader& br, int endBit, const MP3GranuleInfo& g, int out[576])
{
  const MP3HuffmanTables& tables = MP3HuffmanTables::Get();
  int bigEnd = g.bigValues * 2;
  int regionEnd[3] = {g.region1Start, g.region2Start, 576};
  int i = 0;
  for (int r = 0; r < 3; r++) {
    int end = regionEnd[r] < bigEnd ? regionEnd[r] : bigEnd;
    const MP3HuffmanTables::Table& t = tables.pair[g.tableSelect[r] & 31];
    if (t.rootBits == 0) {
      for (; i < end; i++)
        out[i] = 0;
      continue;
    }
    for (; i < end; i += 2) {
      unsigned v = tables.Decode(br, t);
      int x = (int)(v >> 4);
      int y = (int)(v & 15);
      if (x == 15 && t.linbits)
        x += (int)br.Read(t.linbits);
      if (x && br.ReadBit())
        x = -x;
      if (y == 15 && t.linbits)
        y += (int)br.Read(t.linbits);
      if (y && br.ReadBit())
        y = -y;
      out[i] = x;
      out[i + 1] = y;
    }
  }
  bool tableB = g.count1TableSelect != 0;
  while (i + 4 <= 576 && br.GetPosition() < endBit) {
    DecodeQuad(br, tables, tableB, out + i);
    i += 4;
  }
  // A quadruple that ran past the end of the granule's data was never meant; drop it.
  if (br.GetPosition() > endBit && i > bigEnd) {
    i -= 4;
    out[i] = out[i + 1] = out[i + 2] = out[i + 3] = 0;
  }
  for (int k = i; k < 576; k++)
    out[k] = 0;
  return i;
}
