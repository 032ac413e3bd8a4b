// The Huffman tables and the decoding of a granule's Huffman-coded lines.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "sound/mp3bitreader.h"
#include "sound/mp3header.h"
#include "sound/mp3huffman.h"
#include "sound/mp3reference.h"
#include "sound/mp3sideinfo.h"

namespace {

std::vector<std::string> Words(const MP3HuffmanCodeTable& t)
{
    std::vector<std::string> words;
    std::string w;
    for (const char* p = t.codes;; p++) {
        if (*p == '0' || *p == '1') {
            w += *p;
            continue;
        }
        if (!w.empty())
            words.push_back(w);
        w.clear();
        if (!*p)
            break;
    }
    return words;
}

void PutWord(mp3ref::BitWriter& bw, const std::string& word)
{
    for (char c : word)
        bw.Put(c == '1', 1);
}

// Damage to the table text (a dropped or changed digit) breaks one of these: the codes of every table
// must fill the code space exactly and none may be the prefix of another.
TEST(MP3HuffmanTablesTest, EveryTableIsACompletePrefixCode)
{
    std::vector<const MP3HuffmanCodeTable*> tables = {&kMP3QuadTableA};
    for (const MP3HuffmanCodeTable& t : kMP3PairTables)
        if (t.codes)
            tables.push_back(&t);
    for (const MP3HuffmanCodeTable* t : tables) {
        std::vector<std::string> words = Words(*t);
        ASSERT_EQ(words.size(), (size_t)(t == &kMP3QuadTableA ? 16 : t->size * t->size));
        double kraft = 0.0;
        for (const std::string& w : words)
            kraft += std::ldexp(1.0, -(int)w.size());
        EXPECT_DOUBLE_EQ(kraft, 1.0);
        for (size_t i = 0; i < words.size(); i++) {
            for (size_t j = 0; j < words.size(); j++) {
                if (i != j) {
                    ASSERT_NE(words[j].compare(0, words[i].size(), words[i]), 0) << words[i] << " prefixes " << words[j];
                }
            }
        }
    }
}

TEST(MP3HuffmanTablesTest, KnownCodeWordsOfTheStandard)
{
    EXPECT_EQ(Words(kMP3PairTables[1]), (std::vector<std::string>{"1", "001", "01", "000"}));
    EXPECT_EQ(Words(kMP3PairTables[15])[0], "111");
    EXPECT_EQ(Words(kMP3PairTables[24])[0], "1111");
    EXPECT_EQ(Words(kMP3PairTables[13]).back().size(), 16u);
    EXPECT_EQ(kMP3PairTables[23].linbits, 13);
    EXPECT_EQ(kMP3PairTables[31].linbits, 13);
    EXPECT_EQ(kMP3PairTables[16].codes, kMP3PairTables[23].codes);
}

// Every code word, followed by random bits, decodes to its own value and consumes exactly its length
// (the multi-level lookup tables must agree with the code words at every level).
TEST(MP3HuffmanTablesTest, LookupTablesDecodeEveryCodeWord)
{
    const MP3HuffmanTables& tables = MP3HuffmanTables::Get();
    std::mt19937 rng(7);
    for (int t = 0; t <= 32; t++) {
        const MP3HuffmanCodeTable& code = t < 32 ? kMP3PairTables[t] : kMP3QuadTableA;
        const MP3HuffmanTables::Table& table = t < 32 ? tables.pair[t] : tables.quadA;
        if (!code.codes) {
            EXPECT_EQ(table.rootBits, 0) << "table " << t;
            continue;
        }
        std::vector<std::string> words = Words(code);
        for (size_t i = 0; i < words.size(); i++) {
            mp3ref::BitWriter bw;
            PutWord(bw, words[i]);
            bw.Put(rng() & 0xFFFFFF, 24);
            std::vector<unsigned char> bytes = bw.Bytes(16);
            MP3BitReader br(bytes.data(), 12);
            unsigned v = tables.Decode(br, table);
            unsigned expected = (unsigned)((i / code.size) << 4 | (i % code.size));
            ASSERT_EQ(v, expected) << "table " << t << " word " << words[i];
            ASSERT_EQ(br.GetPosition(), (int)words[i].size()) << "table " << t << " word " << words[i];
        }
    }
}

MP3GranuleInfo LongGranule(int bigValues, int t0, int t1, int t2, int region1Start, int region2Start)
{
    MP3GranuleInfo g = {};
    g.bigValues = bigValues;
    g.tableSelect[0] = t0, g.tableSelect[1] = t1, g.tableSelect[2] = t2;
    g.region1Start = region1Start, g.region2Start = region2Start;
    g.count1TableSelect = 1;
    return g;
}

std::string WordFor(int table, int x, int y)
{
    const MP3HuffmanCodeTable& t = kMP3PairTables[table];
    return Words(t)[x * t.size + y];
}

TEST(MP3HuffmanDecode, RegionsLinbitsAndSigns)
{
    mp3ref::BitWriter bw;
    // Region 0 (lines 0-3) with table 1: (1, 0) -, (0, 1) +.
    PutWord(bw, WordFor(1, 1, 0));
    bw.Put(1, 1);
    PutWord(bw, WordFor(1, 0, 1));
    bw.Put(0, 1);
    // Region 1 (lines 4-7) with table 18 (linbits 3): (15 + 5, 2) with signs + -, then (0, 15 + 0).
    PutWord(bw, WordFor(18, 15, 2));
    bw.Put(5, 3);
    bw.Put(0, 1);
    bw.Put(1, 1);
    PutWord(bw, WordFor(18, 0, 15));
    bw.Put(0, 3);
    bw.Put(1, 1);
    // Region 2 (lines 8-9) with table 0: nothing is read.
    // count1 (table B) from line 10: 0101 -> values 0, -1, 0, +1.
    bw.Put(~0x5u & 15u, 4);
    bw.Put(1, 1);
    bw.Put(0, 1);
    int end = bw.Bits();
    std::vector<unsigned char> bytes = bw.Bytes(64);
    MP3BitReader br(bytes.data(), 60);
    MP3GranuleInfo g = LongGranule(5, 1, 18, 0, 4, 8);
    int out[576];
    int count = DecodeHuffmanData(br, end, g, out);
    const int expected[14] = {-1, 0, 0, 1, 20, -2, 0, -15, 0, 0, 0, -1, 0, 1};
    for (int i = 0; i < 14; i++)
        EXPECT_EQ(out[i], expected[i]) << "line " << i;
    EXPECT_EQ(count, 14);
    for (int i = 14; i < 576; i++)
        ASSERT_EQ(out[i], 0);
    EXPECT_EQ(br.GetPosition(), end);
}

TEST(MP3HuffmanDecode, DropsTheQuadrupleThatRunsPastTheGranule)
{
    mp3ref::BitWriter bw;
    bw.Put(~0xFu & 15u, 4);  // 1 1 1 1, signs - + + -
    bw.Put(0x9, 4);
    bw.Put(~0x8u & 15u, 4);  // 1 0 0 0 with its sign bit beyond the end
    int end = bw.Bits();
    bw.Put(1, 1);
    std::vector<unsigned char> bytes = bw.Bytes(16);
    MP3BitReader br(bytes.data(), 12);
    MP3GranuleInfo g = LongGranule(0, 0, 0, 0, 0, 0);
    int out[576];
    EXPECT_EQ(DecodeHuffmanData(br, end, g, out), 4);
    EXPECT_EQ(out[0], -1);
    EXPECT_EQ(out[3], -1);
    EXPECT_EQ(out[4], 0) << "the overrunning quadruple is not kept";
}

TEST(MP3HuffmanDecode, MissingTablesAndDamagedLengthsStayInBounds)
{
    // Tables 4 and 14 do not exist: their regions decode as zeros without reading.
    std::vector<unsigned char> ones(64, 0xFF);
    MP3BitReader br(ones.data(), 60);
    MP3GranuleInfo g = LongGranule(288, 4, 14, 4, 200, 400);
    int out[576];
    DecodeHuffmanData(br, 0, g, out);
    for (int i = 0; i < 576; i++)
        ASSERT_EQ(out[i], 0);
    EXPECT_EQ(br.GetPosition(), 0);

    // big_values of 288 with table 24 over a 4-byte buffer and an end far beyond it: the reader runs
    // out of data (zero bits) and the decoder stops at 576 lines.
    std::vector<unsigned char> small = {0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0};
    MP3BitReader short_(small.data(), 4);
    g = LongGranule(288, 24, 24, 24, 100, 300);
    int count = DecodeHuffmanData(short_, 4095, g, out);
    EXPECT_LE(count, 576);
}

TEST(MP3SideInformation, BringsImpossibleValuesIntoRange)
{
    // MPEG-1 mono: big_values 511 and a window switch to block type 0 (not allowed).
    mp3ref::BitWriter bw;
    bw.Put(0, 9 + 5 + 4);
    for (int gr = 0; gr < 2; gr++) {
        bw.Put(100, 12);
        bw.Put(511, 9);
        bw.Put(200, 8);
        bw.Put(3, 4);
        bw.Put(1, 1);    // window switching
        bw.Put(0, 2);    // block type 0
        bw.Put(1, 1);    // mixed
        bw.Put(0, 10 + 9);
        bw.Put(0, 3);
    }
    std::vector<unsigned char> bytes = bw.Bytes(17 + 4);
    MP3Header h;
    const unsigned char head[4] = {0xFF, 0xFB, 0x90, 0xC0};
    ASSERT_TRUE(h.Parse(head));
    MP3SideInfo info;
    DecodeSideInformation(h, bytes.data(), info);
    EXPECT_EQ(info.granule[0][0].bigValues, 288);
    EXPECT_EQ(info.granule[0][0].part23Length, 100);
    EXPECT_FALSE(info.granule[0][0].IsShort());
    EXPECT_EQ(info.granule[0][0].mixedBlock, 0);
    EXPECT_LE(info.granule[1][0].region2Start, 576);
}

}  // namespace
