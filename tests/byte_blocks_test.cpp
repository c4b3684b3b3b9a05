// The block classification: the vector and the word-wide ways must flag
// exactly the bytes a plain test of each byte flags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "byte_blocks.h"
#include "byte_compact.h"

#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

namespace {

byte_blocks::BlockMasks plainMasks(const unsigned char* at) {
    byte_blocks::BlockMasks m{};
    for (unsigned i = 0; i < byte_blocks::kBlock; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const unsigned char b = at[i];
        if (b < 0x20) m.control |= bit;
        if (b == '<') m.open |= bit;
        if (b == '>') m.close |= bit;
        if (b == ' ') m.blank |= bit;
        if (b >= '0' && b <= '9') m.digit |= bit;
        const unsigned char lower = (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
        if (b == '/') m.slash |= bit;
        if (lower == 's' || lower == 't') m.letterST |= bit;
        if (lower == 'b' || lower == 'h') m.letterBH |= bit;
        if (lower == 'p') m.letterP |= bit;
        if (std::strchr("acdir", lower) != nullptr && lower != 0) m.letterACDIR |= bit;
        if (lower == 't') m.letterT |= bit;
        if (lower == 'r') m.letterR |= bit;
        if (lower == 'd') m.letterD |= bit;
        if (at[i + 1] >= '0' && at[i + 1] <= '9') m.digitAfter |= bit;
    }
    return m;
}

void expectSame(const byte_blocks::BlockMasks& a, const byte_blocks::BlockMasks& b) {
    EXPECT_EQ(a.control, b.control);
    EXPECT_EQ(a.open, b.open);
    EXPECT_EQ(a.close, b.close);
    EXPECT_EQ(a.blank, b.blank);
    EXPECT_EQ(a.digit, b.digit);
    EXPECT_EQ(a.digitAfter, b.digitAfter);
    EXPECT_EQ(a.slash, b.slash);
    EXPECT_EQ(a.letterST, b.letterST);
    EXPECT_EQ(a.letterBH, b.letterBH);
    EXPECT_EQ(a.letterP, b.letterP);
    EXPECT_EQ(a.letterACDIR, b.letterACDIR);
    EXPECT_EQ(a.letterT, b.letterT);
    EXPECT_EQ(a.letterR, b.letterR);
    EXPECT_EQ(a.letterD, b.letterD);
}

TEST(ByteBlocks, FlagExactlyTheRightBytes) {
    // The bytes at the edges of every class, and any byte at all.
    const unsigned char edges[] = {0x00, 0x01, 0x0F, 0x1F, 0x20, 0x21, '/',  '0',  '9', ':', ';',
                                   '<',  '=',  '>',  'B',  'b',  'C',  'h',  'H',  'p', 'P', 'R',
                                   's',  'S',  't',  'T',  'u',  'a',  'A',  'c',  'D', 'i', 'I',
                                   'r',  0x7F, 0x80, 0x9F, 0xA0, 0xBC, 0xD3, 0xF4, 0xFF};
    std::mt19937 random(7);
    // A block and the byte after it, which the classification reads too.
    std::vector<unsigned char> block(byte_blocks::kBlock + 1);
    for (int round = 0; round < 4000; ++round) {
        for (unsigned char& b : block) {
            b = round % 2 == 0 ? edges[random() % sizeof(edges)]
                               : static_cast<unsigned char>(random());
        }
        const byte_blocks::BlockMasks expected = plainMasks(block.data());
        expectSame(byte_blocks::classify(block.data()), expected);
        expectSame(byte_blocks::classifyWords(block.data()), expected);
#if defined(PLAINWRIT_BLOCKS_SSE2)
        if (byte_blocks::haveVectors()) {
            expectSame(byte_blocks::classifyVectors(block.data()), expected);
        }
#endif
#if defined(PLAINWRIT_BLOCKS_AVX2)
        // The marks only: these block loops take the names instead of the
        // letters.
        if (byte_blocks::haveWide()) {
            byte_blocks::BlockMasks wide = byte_blocks::classifyWideMarks(block.data());
            EXPECT_EQ(wide.control, expected.control);
            EXPECT_EQ(wide.open, expected.open);
            EXPECT_EQ(wide.close, expected.close);
            EXPECT_EQ(wide.blank, expected.blank);
            EXPECT_EQ(wide.digit, expected.digit);
            EXPECT_EQ(wide.digitAfter, expected.digitAfter);
        }
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512)
        if (byte_blocks::haveWidest()) {
            byte_blocks::BlockMasks widest = byte_blocks::classifyWidestMarks(block.data());
            byte_blocks::addLettersWidest(block.data(), widest);
            expectSame(widest, expected);
        }
#endif
    }
}

unsigned char lower(unsigned char b) {
    return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
}

bool namedByTheTable(unsigned char first, unsigned char second) {
    return (lower(first) == 's' && std::strchr("acdir", lower(second)) != nullptr && second != 0) ||
           (lower(first) == 't' && std::strchr("aci", lower(second)) != nullptr && second != 0);
}

// What the bytes after each offset name, byte by byte.
byte_blocks::TagNames plainNames(const unsigned char* at) {
    byte_blocks::TagNames n{};
    for (unsigned i = 0; i <= 60; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const unsigned char a = lower(at[i + 1]);
        const unsigned char b = lower(at[i + 2]);
        if (a == 't' && b == 'r') n.tr |= bit;
        if (((a == 'b' || a == 'h') && b == 'r') || a == 'p') n.brHrP |= bit;
        if (a == 't' && b == 'd') n.td |= bit;
        if (namedByTheTable(a, b) || (a == '/' && namedByTheTable(b, at[i + 3]))) n.lookAt |= bit;
    }
    return n;
}

// Offsets 0 to 60 count: a tag in the last three bytes goes to the next block.
void expectSameNames(const byte_blocks::TagNames& a, const byte_blocks::TagNames& b) {
    constexpr std::uint64_t kCounted = (std::uint64_t{1} << 61) - 1;
    EXPECT_EQ(a.tr & kCounted, b.tr & kCounted);
    EXPECT_EQ(a.brHrP & kCounted, b.brHrP & kCounted);
    EXPECT_EQ(a.td & kCounted, b.td & kCounted);
    EXPECT_EQ(a.lookAt & kCounted, b.lookAt & kCounted);
}

TEST(ByteBlocks, NameExactlyTheRightTags) {
    // The letters of the names in both cases, their neighbours in the table
    // of bytes, and bytes that fold onto them in one half only.
    const unsigned char bytes[] = {'t', 'T', 'r',  'R',  'd',         'D',         'b',  'B',
                                   'h', 'H', 'p',  'P',  's',         'S',         'a',  'A',
                                   'c', 'C', 'i',  'I',  '/',         '<',         'u',  'e',
                                   'q', 'o', 0x0F, 0x2E, 0x54 + 0x80, 0x74 + 0x80, 0x14, 0x34};
    std::mt19937 random(5);
    std::vector<unsigned char> block(byte_compact::kRoom);
    for (int round = 0; round < 4000; ++round) {
        for (unsigned char& b : block) {
            b = round % 4 != 0 ? bytes[random() % sizeof(bytes)]
                               : static_cast<unsigned char>(random());
        }
        const byte_blocks::TagNames expected = plainNames(block.data());
        expectSameNames(byte_blocks::namesFromLetters(byte_blocks::classifyWords(block.data())),
                        expected);
#if defined(PLAINWRIT_BLOCKS_AVX2)
        if (byte_blocks::haveWide())
            expectSameNames(byte_blocks::nameTagsWide(block.data()), expected);
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512)
        if (byte_blocks::haveWidest()) {
            expectSameNames(byte_blocks::nameTagsWidest(block.data()), expected);
        }
#endif
    }
}

// Packing: the kept bytes in order, for masks at the edges (none, all, one
// byte, every other byte, runs that end at the block's last byte) and at
// random, sparse and dense, from a block of distinct bytes followed by the
// bytes a packing may read past it.
TEST(ByteBlocks, PackExactlyTheKeptBytes) {
    std::vector<std::uint64_t> masks = {0,
                                        ~std::uint64_t{0},
                                        0x5555555555555555ULL,
                                        0xFF00FF00FF00FF00ULL,
                                        std::uint64_t{1} << 63,
                                        1,
                                        ~std::uint64_t{0} << 1,
                                        ~std::uint64_t{0} >> 1,
                                        0xFFFFFFFF00000000ULL,
                                        0x8000000000000001ULL};
    std::mt19937_64 random(11);
    for (int i = 0; i < 2000; ++i) masks.push_back(random() & random());
    for (int i = 0; i < 2000; ++i) masks.push_back(random() | random() | random());
    std::vector<unsigned char> block(byte_compact::kRoom);
    for (unsigned i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(0x80 + i);
    for (const std::uint64_t keep : masks) {
        std::vector<unsigned char> expected;
        for (unsigned i = 0; i < byte_blocks::kBlock; ++i) {
            if ((keep >> i & 1U) != 0) expected.push_back(block[i]);
        }
        const auto check =
            [&](unsigned char* (*compact)(const unsigned char*, std::uint64_t, unsigned char*)) {
                std::vector<unsigned char> out(byte_compact::kRoom, 0);
                const unsigned char* end = compact(block.data(), keep, out.data());
                ASSERT_EQ(static_cast<std::size_t>(end - out.data()), expected.size()) << keep;
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << keep;
            };
        check(byte_compact::compactWords);
        check(byte_compact::compactRuns);
#if defined(PLAINWRIT_SHUFFLE_COMPACTION)
        if (byte_compact::haveShuffle()) check(byte_compact::compactShuffle);
#endif
    }
}

// Packing with a tag's line feed or tab in place of some kept bytes: the
// bytes patched are none, all, the first or the last kept, and any at
// random, each kind alone and both kinds together.
TEST(ByteBlocks, PatchThePackedBytes) {
    using Packing = unsigned char* (*)(const unsigned char*, std::uint64_t, std::uint64_t,
                                       std::uint64_t, unsigned char*);
    std::vector<Packing> packings;
#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
    if (byte_blocks::haveWide()) packings.push_back(byte_compact::compactShufflePatched);
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512)
    if (byte_compact::haveCompress()) packings.push_back(byte_compact::compactCompressPatched);
#endif
    if (packings.empty()) GTEST_SKIP() << "not on this processor";
    std::vector<unsigned char> block(byte_compact::kRoom);
    for (unsigned i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(0x80 + i);
    std::mt19937_64 random(13);
    for (int round = 0; round < 3000; ++round) {
        const std::uint64_t keep = round % 7 == 0 ? ~std::uint64_t{0} : random() | random();
        const std::uint64_t first = keep & (0 - keep);
        const std::uint64_t last = keep == 0 ? 0 : std::uint64_t{1} << (63 - __builtin_clzll(keep));
        const std::uint64_t picks[] = {0, keep, first, last, keep & random() & random()};
        const std::uint64_t lineFeeds = picks[round % 5] & ~(round % 3 == 0 ? keep & random() : 0);
        const std::uint64_t tabs = round % 2 == 0 ? picks[(round / 5) % 5] & ~lineFeeds : 0;
        std::vector<unsigned char> expected;
        for (unsigned i = 0; i < byte_blocks::kBlock; ++i) {
            const std::uint64_t bit = std::uint64_t{1} << i;
            if ((keep & bit) == 0) continue;
            expected.push_back((lineFeeds & bit) != 0 ? '\n' : (tabs & bit) != 0 ? '\t' : block[i]);
        }
        for (const Packing pack : packings) {
            std::vector<unsigned char> out(byte_compact::kRoom, 0);
            const unsigned char* end = pack(block.data(), keep, lineFeeds, tabs, out.data());
            ASSERT_EQ(static_cast<std::size_t>(end - out.data()), expected.size()) << keep;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()))
                << keep << " " << lineFeeds << " " << tabs;
        }
    }
}

}  // namespace

#endif
