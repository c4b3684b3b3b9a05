// Sixty-four bytes at a time: classifies a block of text into bit masks, one
// bit per byte (bit i for the byte at offset i), for the markup filter's
// block loop. Eight-byte words everywhere; on x86 also SSE2, AVX2 and
// AVX-512 forms, for callers compiled for them. All give the same masks.
#ifndef PLAINWRIT_BYTE_BLOCKS_H
#define PLAINWRIT_BYTE_BLOCKS_H

#include <cstddef>
#include <cstdint>

#include "byte_words.h"
#include "processor_features.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define PLAINWRIT_HAVE_BYTE_BLOCKS 1
#endif

// On x86 the vector forms are compiled function by function, each for its
// own instructions, and chosen at run time: a program built for any 32-bit
// x86 processor still has them. On Windows the assembler is told to use
// unaligned moves only, since the compilers may keep 32-byte values in stack
// slots that are only 16-byte aligned.
#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS) && defined(__GNUC__) && \
    (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define PLAINWRIT_BLOCKS_SSE2 1
#define PLAINWRIT_BLOCKS_AVX2 1
#define PLAINWRIT_TARGET_SSE2 __attribute__((target("sse2")))
#define PLAINWRIT_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#elif defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define PLAINWRIT_BLOCKS_SSE2 1
#define PLAINWRIT_TARGET_SSE2
#endif

// The AVX-512 forms, unless the build leaves them out.
#if defined(PLAINWRIT_BLOCKS_AVX2) && !defined(PLAINWRIT_WITHOUT_AVX512)
#define PLAINWRIT_BLOCKS_AVX512 1
#endif

// Whether every caller may use the SSE2 forms, not only one compiled for them.
#if defined(PLAINWRIT_BLOCKS_SSE2) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#define PLAINWRIT_SSE2_EVERYWHERE 1
#endif

namespace byte_blocks {

constexpr std::size_t kBlock = 64;

struct BlockMasks {
    std::uint64_t control;  // below 0x20
    std::uint64_t open;     // "<"
    std::uint64_t close;    // ">"
    std::uint64_t blank;    // " "
    std::uint64_t digit;    // "0" to "9"
    // A digit after each byte: the byte after the block too, which is read.
    std::uint64_t digitAfter;
    // For telling, without a look at each tag, which tags may have an
    // effect: the bytes after "<" or "</" that such tags start with.
    std::uint64_t slash;        // "/"
    std::uint64_t letterST;     // s or t, either case
    std::uint64_t letterBH;     // b or h, either case
    std::uint64_t letterP;      // p, either case
    std::uint64_t letterACDIR;  // a, c, d, i or r, either case
    // For deciding the short effect tags ("<tr", "<td", "<br", "<hr", "<p")
    // by masks alone.
    std::uint64_t letterT;  // t, either case
    std::uint64_t letterR;  // r, either case
    std::uint64_t letterD;  // d, either case
};

// What the bytes after each offset name, for a "<" there: bit i is set when
// the bytes from offset i + 1 begin the name given (either case). Exact for
// offsets 0 to 60: a tag that starts in the last three bytes is left to the
// next block.
struct TagNames {
    std::uint64_t tr;     // "tr": a line feed anywhere
    std::uint64_t brHrP;  // "br", "hr" or "p": a line feed outside a table
    std::uint64_t td;     // "td": a tab
    // "s" then a, c, d, i or r, or "t" then a, c or i, with or without a
    // "/" before: names only the tag table can tell apart ("script",
    // "table", "title", "strong"...).
    std::uint64_t lookAt;
};

#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

// The names, from the letter masks of a block.
inline TagNames namesFromLetters(const BlockMasks& m) {
    const std::uint64_t t = m.letterT >> 1;
    const std::uint64_t r = m.letterR >> 2;
    const std::uint64_t letterS = m.letterST & ~m.letterT;
    const std::uint64_t letterACI = m.letterACDIR & ~(m.letterD | m.letterR);
    const std::uint64_t named = ((letterS >> 1) & (m.letterACDIR >> 2)) | (t & (letterACI >> 2));
    return {t & r, (((m.letterBH >> 1) & r) | (m.letterP >> 1)), t & (m.letterD >> 2),
            named | ((m.slash >> 1) & (named >> 1))};
}

// The digits after each byte, from the digits of the block and the byte
// after it.
inline std::uint64_t digitsAfter(std::uint64_t digit, const unsigned char* after) {
    const bool next = static_cast<unsigned char>(*after - '0') < 10;
    return (digit >> 1) | std::uint64_t{next} << 63;
}

// The portable way, also where SSE2 is used, so that tests can compare them.
// Gathers the high bit of each byte of a little-endian word into 8 bits.
inline std::uint64_t bits8(std::uint64_t flags, unsigned shift) {
    return (((flags >> 7) * 0x0102040810204080ULL) >> 56) << shift;
}

inline BlockMasks classifyWords(const unsigned char* at) {
    using namespace byte_words;
    BlockMasks m{};
    for (unsigned i = 0; i < kBlock; i += 8) {
        const std::uint64_t w = load(at + i);
        m.control |= bits8(below(w, 0x20), i);
        m.open |= bits8(equal(w, '<'), i);
        m.close |= bits8(equal(w, '>'), i);
        m.blank |= bits8(equal(w, ' '), i);
        m.digit |= bits8(digits(w), i);
        const std::uint64_t folded = w | kOnes * 0x20;  // exact for letters, enough for these
        m.slash |= bits8(equal(w, '/'), i);
        m.letterST |= bits8(equal(folded, 's') | equal(folded, 't'), i);
        m.letterBH |= bits8(equal(folded, 'b') | equal(folded, 'h'), i);
        m.letterP |= bits8(equal(folded, 'p'), i);
        m.letterACDIR |= bits8(equal(folded, 'a') | equal(folded, 'c') | equal(folded, 'd') |
                                   equal(folded, 'i') | equal(folded, 'r'),
                               i);
        m.letterT |= bits8(equal(folded, 't'), i);
        m.letterR |= bits8(equal(folded, 'r'), i);
        m.letterD |= bits8(equal(folded, 'd'), i);
    }
    m.digitAfter = digitsAfter(m.digit, at + kBlock);
    return m;
}

#endif

#if defined(PLAINWRIT_BLOCKS_SSE2)

PLAINWRIT_TARGET_SSE2 inline std::uint64_t bits16(__m128i flags, unsigned shift) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(flags))) << shift;
}

PLAINWRIT_TARGET_SSE2 inline __m128i equal16(__m128i bytes, char c) {
    return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

// Sixteen bytes into bits `shift` to `shift` + 15 of each mask.
PLAINWRIT_TARGET_SSE2 inline void classify16(const unsigned char* at, unsigned shift,
                                             BlockMasks& m) {
    const __m128i lastControl = _mm_set1_epi8(0x1F);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i fromZero = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    m.control |= bits16(_mm_cmpeq_epi8(_mm_max_epu8(v, lastControl), lastControl), shift);
    m.open |= bits16(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')), shift);
    m.close |= bits16(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')), shift);
    m.blank |= bits16(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), shift);
    m.digit |= bits16(_mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero), shift);
    const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
    m.slash |= bits16(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), shift);
    m.letterST |= bits16(_mm_or_si128(equal16(folded, 's'), equal16(folded, 't')), shift);
    m.letterBH |= bits16(_mm_or_si128(equal16(folded, 'b'), equal16(folded, 'h')), shift);
    m.letterP |= bits16(equal16(folded, 'p'), shift);
    m.letterACDIR |=
        bits16(_mm_or_si128(_mm_or_si128(_mm_or_si128(equal16(folded, 'a'), equal16(folded, 'c')),
                                         _mm_or_si128(equal16(folded, 'd'), equal16(folded, 'i'))),
                            equal16(folded, 'r')),
               shift);
    m.letterT |= bits16(equal16(folded, 't'), shift);
    m.letterR |= bits16(equal16(folded, 'r'), shift);
    m.letterD |= bits16(equal16(folded, 'd'), shift);
}

// Written out four times so that every shift is a constant.
PLAINWRIT_TARGET_SSE2 inline BlockMasks classifyVectors(const unsigned char* at) {
    BlockMasks m{};
    classify16(at, 0, m);
    classify16(at + 16, 16, m);
    classify16(at + 32, 32, m);
    classify16(at + 48, 48, m);
    m.digitAfter = digitsAfter(m.digit, at + kBlock);
    return m;
}

#if defined(__GNUC__) && !defined(PLAINWRIT_SSE2_EVERYWHERE)
// Whether the processor running this has SSE2, for classifyVectors.
inline bool haveVectors() { return processorFeatures().sse2; }
#else
inline bool haveVectors() { return true; }
#endif

#endif

// The classification any caller of this build may use.
#if defined(PLAINWRIT_SSE2_EVERYWHERE)
inline BlockMasks classify(const unsigned char* at) { return classifyVectors(at); }
#elif defined(PLAINWRIT_HAVE_BYTE_BLOCKS)
inline BlockMasks classify(const unsigned char* at) { return classifyWords(at); }
#endif

// AVX2, 32 bytes a step, for a caller compiled for it and run on a processor
// that has it.
#if defined(PLAINWRIT_BLOCKS_AVX2)

// The bytes the AVX2 and AVX-512 classifications compare with, each
// repeated over a row of 64, read from memory: a compare then takes its
// constant straight from the row. Given the constants themselves, the
// compiler rebuilds each by a broadcast in every block, since the block
// loop's rare calls leave it no vector register to keep them in.
constexpr unsigned char kRowBytes[] = {0x1F, 0x20, '<', '>', '/', '0', 9,   10,  'a',
                                       'b',  'c',  'd', 'h', 'i', 'p', 'r', 's', 't'};
constexpr std::size_t kRowCount = sizeof(kRowBytes);

struct alignas(64) CompareRows {
    unsigned char row[kRowCount][kBlock];
};

constexpr CompareRows makeCompareRows() {
    CompareRows rows{};
    for (std::size_t i = 0; i < kRowCount; ++i) {
        for (unsigned char& b : rows.row[i]) b = kRowBytes[i];
    }
    return rows;
}

inline constexpr CompareRows kCompareRows = makeCompareRows();

constexpr std::size_t rowOf(unsigned char c) {
    std::size_t i = 0;
    while (i < kRowCount && kRowBytes[i] != c) ++i;
    return i;
}

// The rows through a pointer the compiler cannot see into, so that it
// loads them instead of rebuilding them.
inline const CompareRows* compareRows() {
    const CompareRows* rows = &kCompareRows;
    __asm__("" : "+r"(rows));
    return rows;
}

template <unsigned char c>
PLAINWRIT_TARGET_AVX2 inline __m256i row32(const CompareRows* rows) {
    static_assert(rowOf(c) < kRowCount, "no row holds this byte");
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows->row[rowOf(c)]));
}

PLAINWRIT_TARGET_AVX2 inline std::uint64_t bits32(__m256i flags, unsigned shift) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(flags)))
           << shift;
}

template <unsigned char c>
PLAINWRIT_TARGET_AVX2 inline __m256i equal32(__m256i bytes, const CompareRows* rows) {
    return _mm256_cmpeq_epi8(bytes, row32<c>(rows));
}

PLAINWRIT_TARGET_AVX2 inline __m256i digits32(__m256i bytes, const CompareRows* rows) {
    const __m256i fromZero = _mm256_sub_epi8(bytes, row32<'0'>(rows));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(fromZero, row32<9>(rows)), fromZero);
}

// The marks every block needs: control bytes, "<", ">", blanks and digits.
PLAINWRIT_TARGET_AVX2 inline void classifyMarks32(const unsigned char* at, unsigned shift,
                                                  const CompareRows* rows, BlockMasks& m) {
    const __m256i lastControl = row32<0x1F>(rows);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    m.control |= bits32(_mm256_cmpeq_epi8(_mm256_max_epu8(v, lastControl), lastControl), shift);
    m.open |= bits32(equal32<'<'>(v, rows), shift);
    m.close |= bits32(equal32<'>'>(v, rows), shift);
    m.blank |= bits32(equal32<' '>(v, rows), shift);
    m.digit |= bits32(digits32(v, rows), shift);
}

// The marks only: the names come from nameTagsWide, for blocks with a tag.
PLAINWRIT_TARGET_AVX2 inline BlockMasks classifyWideMarks(const unsigned char* at) {
    const CompareRows* rows = compareRows();
    BlockMasks m{};
    classifyMarks32(at, 0, rows, m);
    classifyMarks32(at + 32, 32, rows, m);
    // Loaded again one byte on, rather than shifted in from the byte after.
    for (unsigned half = 0; half < 64; half += 32) {
        const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + half + 1));
        m.digitAfter |= bits32(digits32(after, rows), half);
    }
    return m;
}

// The names by table lookups rather than a compare per letter. A byte is
// looked up by its low four bits and by its high four, and the two results
// ANDed: each bit then tells whether the byte is in one set. One such lookup
// for the byte after the "<" and one for the byte after that, ANDed again,
// give each name's test as one bit (kNameBits). A set must be every low half
// of some set with every high half of another, as these letters, in both
// cases, are; nameTablesAreExact checks it.
struct NameBit {
    const char* first;   // what the byte after "<" may be, in lower case
    const char* second;  // and the byte after that; any byte if empty
};
constexpr NameBit kNameBits[8] = {
    {"t", "r"}, {"bh", "r"},  {"t", "d"}, {"s", "acdi"},
    {"s", "r"}, {"t", "aci"}, {"p", ""},  {"/", ""},
};
// Which bits give which name; the slash is the top bit, 7.
constexpr unsigned kNameTrBit = 0;
constexpr unsigned kNameTdBit = 2;
constexpr unsigned kNameBrHrP = 0x02 | 0x40;
constexpr unsigned kNameLookAt = 0x08 | 0x10 | 0x20;

struct alignas(32) NameTables {
    unsigned char firstLow[32];
    unsigned char firstHigh[32];
    unsigned char secondLow[32];
    unsigned char secondHigh[32];
    // Constants, as rows for the same reason as kCompareRows.
    unsigned char lowHalf[32];    // 0x0F
    unsigned char brHrP[32];      // kNameBrHrP
    unsigned char brHrPTop[32];   // what sets the top bit of any byte of kNameBrHrP
    unsigned char lookAt[32];     // kNameLookAt
    unsigned char lookAtTop[32];  // and the same for it
};

constexpr unsigned char lowerCase(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

constexpr bool inSet(unsigned char c, const char* set) {
    if (*set == '\0') return true;
    for (; *set != '\0'; ++set) {
        if (static_cast<unsigned char>(*set) == lowerCase(c)) return true;
    }
    return false;
}

// Each of the 16 entries repeated in both halves of 32, as the lookup
// instruction takes its table per 16-byte lane.
constexpr void markHalves(unsigned char (&low)[32], unsigned char (&high)[32], const char* set,
                          unsigned char bit) {
    for (unsigned b = 0; b < 256; ++b) {
        if (!inSet(static_cast<unsigned char>(b), set)) continue;
        for (unsigned lane = 0; lane < 32; lane += 16) {
            low[lane + (b & 15U)] |= bit;
            high[lane + (b >> 4)] |= bit;
        }
    }
}

constexpr void fill(unsigned char (&row)[32], unsigned char value) {
    for (unsigned char& b : row) b = value;
}

constexpr NameTables makeNameTables() {
    NameTables t{};
    for (unsigned i = 0; i < 8; ++i) {
        const auto bit = static_cast<unsigned char>(1U << i);
        markHalves(t.firstLow, t.firstHigh, kNameBits[i].first, bit);
        markHalves(t.secondLow, t.secondHigh, kNameBits[i].second, bit);
    }
    fill(t.lowHalf, 0x0F);
    fill(t.brHrP, kNameBrHrP);
    fill(t.brHrPTop, static_cast<unsigned char>(0x80 - (kNameBrHrP & (0 - kNameBrHrP))));
    fill(t.lookAt, kNameLookAt);
    fill(t.lookAtTop, static_cast<unsigned char>(0x80 - (kNameLookAt & (0 - kNameLookAt))));
    return t;
}

inline constexpr NameTables kNameTables = makeNameTables();

// The lookups give each test exactly: for every byte and table pair, the
// bit is set just for the bytes of its set.
constexpr bool nameTablesAreExact() {
    for (unsigned i = 0; i < 8; ++i) {
        for (unsigned b = 0; b < 256; ++b) {
            const bool first =
                ((kNameTables.firstLow[b & 15U] & kNameTables.firstHigh[b >> 4]) >> i & 1U) != 0;
            const bool second =
                ((kNameTables.secondLow[b & 15U] & kNameTables.secondHigh[b >> 4]) >> i & 1U) != 0;
            if (first != inSet(static_cast<unsigned char>(b), kNameBits[i].first) ||
                second != inSet(static_cast<unsigned char>(b), kNameBits[i].second)) {
                return false;
            }
        }
    }
    // The sum that sets a top bit may not carry out of the byte.
    return kNameBrHrP + kNameTables.brHrPTop[0] < 0x100 &&
           kNameLookAt + kNameTables.lookAtTop[0] < 0x100 &&
           ((kNameBrHrP | kNameLookAt) & 0x80U) == 0;
}
static_assert(nameTablesAreExact(),
              "a name test is not a set of low halves with a set of high halves");

inline const NameTables* nameTables() {
    const NameTables* tables = &kNameTables;
    __asm__("" : "+r"(tables));
    return tables;
}

PLAINWRIT_TARGET_AVX2 inline __m256i load32(const unsigned char* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

PLAINWRIT_TARGET_AVX2 inline __m256i lookUp32(const unsigned char (&low)[32],
                                              const unsigned char (&high)[32], __m256i bytes,
                                              __m256i lowHalf) {
    const __m256i lows = _mm256_and_si256(bytes, lowHalf);
    const __m256i highs = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), lowHalf);
    return _mm256_and_si256(_mm256_shuffle_epi8(load32(low), lows),
                            _mm256_shuffle_epi8(load32(high), highs));
}

// Whether any of the bits of `set` is set in each byte, into the top bit.
PLAINWRIT_TARGET_AVX2 inline std::uint64_t anyOf32(__m256i bits, const unsigned char (&set)[32],
                                                   const unsigned char (&top)[32], unsigned shift) {
    return bits32(_mm256_add_epi8(_mm256_and_si256(bits, load32(set)), load32(top)), shift);
}

// The name bits of the 32 offsets from `at`.
PLAINWRIT_TARGET_AVX2 inline __m256i nameBits32(const unsigned char* at, const NameTables* t) {
    const __m256i lowHalf = load32(t->lowHalf);
    const __m256i first = lookUp32(t->firstLow, t->firstHigh, load32(at + 1), lowHalf);
    const __m256i second = lookUp32(t->secondLow, t->secondHigh, load32(at + 2), lowHalf);
    return _mm256_and_si256(first, second);
}

// A single bit of each byte, shifted to its top: the shift works on 16-bit
// lanes, but only the top bit of each byte is taken.
template <unsigned bit>
PLAINWRIT_TARGET_AVX2 inline std::uint64_t oneBit64(__m256i low, __m256i high) {
    return bits32(_mm256_slli_epi16(low, 7 - bit), 0) |
           bits32(_mm256_slli_epi16(high, 7 - bit), 32);
}

// Written out for both halves, so that every shift is a constant.
PLAINWRIT_TARGET_AVX2 inline TagNames nameTagsWide(const unsigned char* at) {
    const NameTables* t = nameTables();
    const __m256i low = nameBits32(at, t);
    const __m256i high = nameBits32(at + 32, t);
    const std::uint64_t slash = bits32(low, 0) | bits32(high, 32);
    const std::uint64_t named =
        anyOf32(low, t->lookAt, t->lookAtTop, 0) | anyOf32(high, t->lookAt, t->lookAtTop, 32);
    return {oneBit64<kNameTrBit>(low, high),
            anyOf32(low, t->brHrP, t->brHrPTop, 0) | anyOf32(high, t->brHrP, t->brHrPTop, 32),
            oneBit64<kNameTdBit>(low, high), named | (slash & (named >> 1))};
}

#if defined(PLAINWRIT_BLOCKS_AVX512)

// AVX-512 (byte instructions), the whole block at once: each test gives its
// 64-bit mask directly. The marks and the letters in two steps, as above.
#define PLAINWRIT_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx2,bmi,bmi2,popcnt")))

template <unsigned char c>
PLAINWRIT_TARGET_AVX512 inline __m512i row64(const CompareRows* rows) {
    static_assert(rowOf(c) < kRowCount, "no row holds this byte");
    return _mm512_loadu_si512(rows->row[rowOf(c)]);
}

template <unsigned char c>
PLAINWRIT_TARGET_AVX512 inline std::uint64_t equal64(__m512i bytes, const CompareRows* rows) {
    return _mm512_cmpeq_epi8_mask(bytes, row64<c>(rows));
}

PLAINWRIT_TARGET_AVX512 inline std::uint64_t digits64(__m512i bytes, const CompareRows* rows) {
    return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, row64<'0'>(rows)), row64<10>(rows));
}

PLAINWRIT_TARGET_AVX512 inline BlockMasks classifyWidestMarks(const unsigned char* at) {
    const CompareRows* rows = compareRows();
    const __m512i v = _mm512_loadu_si512(at);
    BlockMasks m{};
    m.control = _mm512_cmplt_epu8_mask(v, row64<0x20>(rows));
    m.open = equal64<'<'>(v, rows);
    m.close = equal64<'>'>(v, rows);
    m.blank = equal64<' '>(v, rows);
    m.digit = digits64(v, rows);
    m.digitAfter = digits64(_mm512_loadu_si512(at + 1), rows);
    return m;
}

PLAINWRIT_TARGET_AVX512 inline void addLettersWidest(const unsigned char* at, BlockMasks& m) {
    const CompareRows* rows = compareRows();
    const __m512i v = _mm512_loadu_si512(at);
    const __m512i folded = _mm512_or_si512(v, row64<0x20>(rows));
    m.slash = equal64<'/'>(v, rows);
    m.letterT = equal64<'t'>(folded, rows);
    m.letterR = equal64<'r'>(folded, rows);
    m.letterD = equal64<'d'>(folded, rows);
    m.letterST = equal64<'s'>(folded, rows) | m.letterT;
    m.letterBH = equal64<'b'>(folded, rows) | equal64<'h'>(folded, rows);
    m.letterP = equal64<'p'>(folded, rows);
    m.letterACDIR = equal64<'a'>(folded, rows) | equal64<'c'>(folded, rows) | m.letterD |
                    equal64<'i'>(folded, rows) | m.letterR;
}

PLAINWRIT_TARGET_AVX512 inline TagNames nameTagsWidest(const unsigned char* at) {
    BlockMasks m{};
    addLettersWidest(at, m);
    return namesFromLetters(m);
}

#endif

PLAINWRIT_TARGET_AVX2 inline std::size_t countBitsPopcnt(std::uint64_t bits) {
    return static_cast<std::size_t>(__builtin_popcountll(bits));
}

// Whether the processor running this, and its system, can use classifyWideMarks.
inline bool haveWide() {
    const ProcessorFeatures& has = processorFeatures();
    // GCOVR_EXCL_BR_START: a processor without these is needed for the other outcome
    return has.avx2 && has.bmi && has.bmi2 && has.popcnt;
    // GCOVR_EXCL_BR_STOP
}

#if defined(PLAINWRIT_BLOCKS_AVX512)
// Whether the processor running this, and its system, can use classifyWidestMarks.
inline bool haveWidest() {
    // GCOVR_EXCL_BR_START: a processor without these is needed for the other outcome
    return processorFeatures().avx512f && processorFeatures().avx512bw && haveWide();
    // GCOVR_EXCL_BR_STOP
}

#endif

#endif

// The bits at offset `from` and above (none when `from` is 64).
inline std::uint64_t bitsFrom(std::size_t from) {
    return from >= 64 ? 0 : ~std::uint64_t{0} << from;
}

inline std::size_t lowest(std::uint64_t bits) {
#if defined(__GNUC__) && defined(__i386__)
    // In halves: a 32-bit x86 build would otherwise call a library function.
    const auto low = static_cast<std::uint32_t>(bits);
    return low != 0 ? static_cast<std::size_t>(__builtin_ctz(low))
                    : 32 + static_cast<std::size_t>(
                               __builtin_ctz(static_cast<std::uint32_t>(bits >> 32)));
#elif defined(__GNUC__)
    return static_cast<std::size_t>(__builtin_ctzll(bits));
#else
    std::size_t n = 0;
    while ((bits & 1U) == 0) {
        bits >>= 1;
        ++n;
    }
    return n;
#endif
}

// Portable: a processor without the popcount instruction would otherwise
// need a library call.
inline std::size_t countBits(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ULL;
    bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<std::size_t>((bits * 0x0101010101010101ULL) >> 56);
}

}  // namespace byte_blocks

#endif
