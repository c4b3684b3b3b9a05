// Entity decoder. The table below is the data of record; a small open-address
// hash index over it is built at compile time, so finding the row for an "&"
// costs one word-wide look for the ";" and one or two key comparisons, never a
// walk over all 196 names.
#include "entities.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "byte_blocks.h"
#include "byte_compact.h"
#include "byte_words.h"

extern constexpr EntityEntry kEntityTable[kEntityCount] = {
#include "entity_table.inc"
};

namespace {

// Every name is "&", two to six bytes, ";". The bytes between "&" and ";" are
// packed into one integer, with their count on top, as the lookup key.
constexpr std::size_t kMinKeyBytes = 2;
constexpr std::size_t kMaxKeyBytes = 6;
constexpr std::size_t kMaxNameBytes = kMaxKeyBytes + 2;
static_assert(kMaxNameBytes == kLongestReference, "the header tells callers how much is left");

constexpr std::uint64_t packKey(const char* bytes, std::size_t count) {
    std::uint64_t key = static_cast<std::uint64_t>(count) << 56;
    for (std::size_t i = 0; i < count; ++i) {
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return key;
}

constexpr std::size_t nameLength(const char* name) {
    std::size_t n = 0;
    while (name[n] != '\0') {
        ++n;
    }
    return n;
}

constexpr unsigned kIndexBits = 9;
constexpr std::size_t kIndexSize = std::size_t{1} << kIndexBits;  // over twice the rows

constexpr std::size_t slotOf(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - kIndexBits));
}

struct EntityIndex {
    std::array<std::uint64_t, kIndexSize> keys{};  // 0 marks a free slot
    std::array<unsigned char, kIndexSize> codes{};
    std::size_t longestProbe = 0;
};

constexpr EntityIndex buildIndex() {
    EntityIndex index{};
    for (const EntityEntry& entry : kEntityTable) {
        const std::size_t length = nameLength(entry.name);
        const std::uint64_t key = packKey(entry.name + 1, length - 2);
        std::size_t slot = slotOf(key);
        std::size_t probe = 1;
        while (index.keys[slot] != 0) {
            slot = (slot + 1) % kIndexSize;
            ++probe;
        }
        index.keys[slot] = key;
        index.codes[slot] = entry.code;
        if (probe > index.longestProbe) {
            index.longestProbe = probe;
        }
    }
    return index;
}

constexpr EntityIndex kIndex = buildIndex();
static_assert(kIndex.longestProbe <= 4, "entity index probes too long; change the hash");

constexpr bool tableIsWellFormed() {
    for (const EntityEntry& entry : kEntityTable) {
        const std::size_t length = nameLength(entry.name);
        if (length < kMinKeyBytes + 2 || length > kMaxNameBytes) return false;
        if (entry.name[0] != '&' || entry.name[length - 1] != ';') return false;
        for (std::size_t i = 1; i + 1 < length; ++i) {
            if (entry.name[i] == ';' || entry.name[i] == '&') return false;
        }
    }
    return true;
}
static_assert(tableIsWellFormed(), "every name is & + 2..6 bytes + ;");

inline std::size_t findInIndex(std::uint64_t key, std::size_t count, unsigned char* code) {
    for (std::size_t slot = slotOf(key); kIndex.keys[slot] != 0; slot = (slot + 1) % kIndexSize) {
        if (kIndex.keys[slot] == key) {
            *code = kIndex.codes[slot];
            return count + 2;
        }
    }
    return 0;
}

// `at` points to an "&" before `end` (the terminator). Returns the length of
// the reference found there and its code, or 0 when the table has none.
inline std::size_t matchReference(const unsigned char* at, const unsigned char* end,
                                  unsigned char* code) {
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // With eight bytes after the "&" in reach (the terminator at worst), one
    // word finds the ";" and, masked to the bytes before it, is the key.
    if (end - at >= 8) {
        const std::uint64_t word = byte_words::load(at + 1);
        const std::uint64_t semicolons = byte_words::equal(word, ';');
        if (semicolons == 0) return 0;
        const std::size_t count = byte_words::firstFlagged(semicolons);
        if (count < kMinKeyBytes || count > kMaxKeyBytes) return 0;
        const std::uint64_t packed = word & ((std::uint64_t{1} << (8 * count)) - 1);
        return findInIndex(packed | (static_cast<std::uint64_t>(count) << 56), count, code);
    }
#endif
    std::uint64_t packed = 0;
    std::size_t count = 0;
    for (const unsigned char* p = at + 1; p < end; ++p, ++count) {
        if (*p == ';') {
            if (count < kMinKeyBytes) return 0;
            return findInIndex(packed | (static_cast<std::uint64_t>(count) << 56), count, code);
        }
        // GCOVR_EXCL_BR_START: reached only where the word path above is not built
        if (count == kMaxKeyBytes) return 0;
        // GCOVR_EXCL_BR_STOP
        packed |= static_cast<std::uint64_t>(*p) << (8 * count);
    }
    return 0;
}

// Moves the plain text at `read` down to `write`, up to the first "&"
// before `stop` or to `stop`.
inline void moveByLibrary(const unsigned char*& read, unsigned char*& write,
                          const unsigned char* stop) {
    const auto* next = static_cast<const unsigned char*>(
        std::memchr(read, '&', static_cast<std::size_t>(stop - read)));
    const std::size_t plain = static_cast<std::size_t>((next ? next : stop) - read);
    if (write != read) std::memmove(write, read, plain);
    write += plain;
    read += plain;
}

#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)

// Matches the reference, if any, whose "&" is at offset `at` of the
// `kWidth` bytes at `read`: gives its code, clears the rest of its name
// from `keep`, and sets in `runOn` the bytes of the next register that the
// name covers. The next "&" of the register is past the name: names hold
// none.
template <std::size_t kWidth>
inline bool matchInRegister(const unsigned char* read, std::size_t at, const unsigned char* end,
                            unsigned char& code, std::uint64_t& keep, std::uint64_t& runOn) {
    const std::size_t consumed = matchReference(read + at, end, &code);
    if (consumed == 0) return false;
    const std::uint64_t rest = (std::uint64_t{1} << (consumed - 1)) - 1;
    keep &= ~((rest << at) << 1);
    runOn = rest >> (kWidth - 1 - at);
    return true;
}

// A register's worth of text, for the decoder below: its load, where it
// holds "&", `code` put in place of its byte at `at`, and its bytes that
// `keep` marks stored packed at `out`, returning where they end. The store
// reaches no further than a register's worth from `out`. The register goes
// by reference, so that no vector passes through a function built without
// its instructions, and each step is a function of its own, so that no
// vector arithmetic sits beside the decoder's calls.
struct Avx2Text {
    static constexpr std::size_t kWidth = 32;
    static constexpr std::uint64_t kWhole = 0xFFFFFFFFU;
    struct Bytes {
        __m256i v;
    };

    PLAINWRIT_TARGET_AVX2 static void load(const unsigned char* at, Bytes& bytes) {
        bytes.v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    }

    PLAINWRIT_TARGET_AVX2 static std::uint64_t ampersands(const Bytes& bytes) {
        return static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes.v, _mm256_set1_epi8('&'))));
    }

    PLAINWRIT_TARGET_AVX2 static void put(Bytes& bytes, std::size_t at, unsigned char code) {
        const __m256i offsets =
            _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                             20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
        const __m256i here = _mm256_cmpeq_epi8(offsets, _mm256_set1_epi8(static_cast<char>(at)));
        bytes.v = _mm256_blendv_epi8(bytes.v, _mm256_set1_epi8(static_cast<char>(code)), here);
    }

    PLAINWRIT_TARGET_AVX2 static unsigned char* storeKept(const Bytes& bytes, std::uint64_t keep,
                                                          unsigned char* out) {
        if (keep == kWhole) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes.v);
            return out + kWidth;
        }
        const __m128i low = _mm256_castsi256_si128(bytes.v);
        const __m128i high = _mm256_extracti128_si256(bytes.v, 1);
        out = byte_compact::compact16(low, static_cast<unsigned>(keep & 0xFFFFU), out);
        return byte_compact::compact16(high, static_cast<unsigned>(keep >> 16), out);
    }
};

#if defined(PLAINWRIT_BLOCKS_AVX512)
struct Avx512Text {
    static constexpr std::size_t kWidth = 64;
    static constexpr std::uint64_t kWhole = ~std::uint64_t{0};
    struct Bytes {
        __m512i v;
    };

    PLAINWRIT_TARGET_COMPRESS static void load(const unsigned char* at, Bytes& bytes) {
        bytes.v = _mm512_loadu_si512(at);
    }

    PLAINWRIT_TARGET_COMPRESS static std::uint64_t ampersands(const Bytes& bytes) {
        return _mm512_cmpeq_epi8_mask(bytes.v, _mm512_set1_epi8('&'));
    }

    PLAINWRIT_TARGET_COMPRESS static void put(Bytes& bytes, std::size_t at, unsigned char code) {
        bytes.v = _mm512_mask_set1_epi8(bytes.v, std::uint64_t{1} << at, static_cast<char>(code));
    }

    PLAINWRIT_TARGET_COMPRESS static unsigned char* storeKept(const Bytes& bytes,
                                                              std::uint64_t keep,
                                                              unsigned char* out) {
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, bytes.v));
        return out + __builtin_popcountll(keep);
    }
};
#endif

// A register's worth of text decoded: each reference's code put in its
// register in place of its "&", and the bytes kept stored packed at
// `write`, which is at or before the register's own place, so the store
// never covers text still to be read; `runOn` as for matchInRegister, and
// on entry the bytes of this register that a name before it covers.
// Returns where the bytes stored end.
template <typename Text>
inline unsigned char* decodeRegister(const unsigned char* read, const unsigned char* end,
                                     std::uint64_t& runOn, unsigned char* write) {
    typename Text::Bytes bytes;
    Text::load(read, bytes);
    std::uint64_t keep = Text::kWhole & ~runOn;
    runOn = 0;
    for (std::uint64_t found = Text::ampersands(bytes); found != 0; found &= found - 1) {
        const std::size_t at = byte_blocks::lowest(found);
        unsigned char code = 0;
        if (matchInRegister<Text::kWidth>(read, at, end, code, keep, runOn)) {
            Text::put(bytes, at, code);
        }
    }
    return Text::storeKept(bytes, keep, write);
}

// Decodes a register's worth of text at a time, up to the last whole
// register before `stop`; the caller decodes the rest. Registers go on one
// after another whatever their references: a reference's code goes in place
// of its "&" in the register, and the rest of its name is left out as the
// register is stored, or at the start of the next one where it runs on. So
// the search for the next "&" never waits for the match before it, as it
// does where each search starts after the last name matched, and a
// reference costs little more than its match. Before anything has moved the
// library's search is the fastest way to the first "&".
template <typename Text>
inline void decodeByRegisters(unsigned char* text, const unsigned char* stop,
                              const unsigned char* end, DecodeCursor& cursor) {
    constexpr auto kStep = static_cast<std::ptrdiff_t>(Text::kWidth);
    const unsigned char* read = text + cursor.read;
    unsigned char* write = text + cursor.write;
    if (read == write) {
        // Nothing has moved yet: the library's search finds where that starts.
        const auto* next = static_cast<const unsigned char*>(
            std::memchr(read, '&', static_cast<std::size_t>(stop - read)));
        const std::size_t plain = static_cast<std::size_t>((next ? next : stop) - read);
        read += plain;
        write += plain;
    }
    std::uint64_t runOn = 0;
    while (stop - read >= kStep) {
        write = decodeRegister<Text>(read, end, runOn, write);
        read += kStep;
    }
    read += __builtin_popcountll(runOn);
    cursor.read = static_cast<std::size_t>(read - text);
    cursor.write = static_cast<std::size_t>(write - text);
}

#endif

using Move = void (*)(const unsigned char*&, unsigned char*&, const unsigned char*);

// Decodes from the cursor on: the references that start before `stop`, and
// the plain bytes before it. A reference may read up to `end`: the
// terminator, or where the text written so far ends (then `stop` is at least
// a longest reference before it).
template <Move move>
inline void decodeUpTo(unsigned char* text, const unsigned char* stop, const unsigned char* end,
                       DecodeCursor& cursor) {
    // Separate read and write positions: the text before the first
    // substitution stays where it is, everything after moves left once.
    const unsigned char* read = text + cursor.read;
    unsigned char* write = text + cursor.write;
    while (read < stop) {
        if (*read == '&') {
            unsigned char code = 0;
            const std::size_t consumed = matchReference(read, end, &code);
            if (consumed != 0) {
                *write++ = code;
                read += consumed;
            } else {
                *write++ = '&';
                ++read;
            }
            continue;
        }
        move(read, write, stop);
    }
    cursor.read = static_cast<std::size_t>(read - text);
    cursor.write = static_cast<std::size_t>(write - text);
}

using DecodeUpTo = void (*)(unsigned char*, const unsigned char*, const unsigned char*,
                            DecodeCursor&);

void decodeByLibrary(unsigned char* text, const unsigned char* stop, const unsigned char* end,
                     DecodeCursor& cursor) {
    decodeUpTo<moveByLibrary>(text, stop, end, cursor);
}

#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_AVX2 __attribute__((flatten)) void decodeByAvx2(unsigned char* text,
                                                                 const unsigned char* stop,
                                                                 const unsigned char* end,
                                                                 DecodeCursor& cursor) {
    decodeByRegisters<Avx2Text>(text, stop, end, cursor);
    decodeUpTo<moveByLibrary>(text, stop, end, cursor);
}
#endif

#if defined(PLAINWRIT_BLOCKS_AVX512) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_COMPRESS __attribute__((flatten)) void decodeByAvx512(unsigned char* text,
                                                                       const unsigned char* stop,
                                                                       const unsigned char* end,
                                                                       DecodeCursor& cursor) {
    decodeByRegisters<Avx512Text>(text, stop, end, cursor);
    decodeUpTo<moveByLibrary>(text, stop, end, cursor);
}
#endif

// The decoder for `moves`, or none where this build or processor lacks it.
// GCOVR_EXCL_BR_START: the other outcomes need a processor without these instructions
DecodeUpTo decoderFor(DecodeMoves moves) {
    switch (moves) {
        case DecodeMoves::kLibrary: return decodeByLibrary;
#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case DecodeMoves::kAvx2: return byte_blocks::haveWide() ? decodeByAvx2 : nullptr;
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case DecodeMoves::kAvx512: return byte_compact::haveCompress() ? decodeByAvx512 : nullptr;
#endif
        default: return nullptr;  // GCOVR_EXCL_LINE: for builds without the vector forms
    }
}

std::atomic<int> chosenMoves{-1};

DecodeMoves findFastestMoves() {
    constexpr DecodeMoves kFastestFirst[] = {DecodeMoves::kAvx512, DecodeMoves::kAvx2};
    const auto* found =
        std::find_if(std::begin(kFastestFirst), std::end(kFastestFirst),
                     [](DecodeMoves moves) { return decoderFor(moves) != nullptr; });
    return found != std::end(kFastestFirst) ? *found : DecodeMoves::kLibrary;
}
// GCOVR_EXCL_BR_STOP

}  // namespace

bool decodeMovesAvailable(DecodeMoves moves) { return decoderFor(moves) != nullptr; }

DecodeMoves fastestDecodeMoves() {
    int moves = chosenMoves.load(std::memory_order_relaxed);
    if (moves < 0) {
        moves = static_cast<int>(findFastestMoves());
        chosenMoves.store(moves, std::memory_order_relaxed);
    }
    return static_cast<DecodeMoves>(moves);
}

void decodeEntitiesReady(char* text, std::size_t ready, DecodeCursor& cursor, DecodeMoves moves) {
    if (ready <= cursor.read + kMaxNameBytes) return;
    auto* const begin = reinterpret_cast<unsigned char*>(text);
    decoderFor(moves)(begin, begin + ready - kMaxNameBytes, begin + ready, cursor);
}

std::size_t decodeEntitiesFinish(char* text, std::size_t length, DecodeCursor& cursor,
                                 DecodeMoves moves) {
    auto* const begin = reinterpret_cast<unsigned char*>(text);
    decoderFor(moves)(begin, begin + length, begin + length, cursor);
    begin[cursor.write] = '\0';
    return cursor.write;
}

std::size_t decodeEntitiesFinish(char* text, std::size_t length, DecodeCursor& cursor) {
    return decodeEntitiesFinish(text, length, cursor, fastestDecodeMoves());
}

std::size_t decodeEntities(char* text, std::size_t length) {
    DecodeCursor cursor;
    return decodeEntitiesFinish(text, length, cursor);
}

void decodeEntities(char* text) { decodeEntities(text, std::strlen(text)); }
