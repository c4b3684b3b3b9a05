// Keeps the flagged bytes of a 64-byte block: bit i of `keep` says whether
// the byte at offset i is copied. The kept bytes land, in order, at `out`;
// the result is the position after the last one. Either way may store up to
// 16 bytes past what it keeps, so the caller needs 80 bytes of room at `out`.
//   compactWords   - portable, eight bytes at a time;
//   compactRuns    - portable, a run of kept bytes at a time, sixteen bytes
//                    a copy: for processors with 16-byte moves but no byte
//                    shuffle (SSE2), where it is compiled for them;
//   compactShuffle - SSSE3 byte shuffles picked from a table, one per eight
//                    bytes; only for a caller compiled for SSSE3 and run on
//                    a processor that has it (haveShuffle()).
//   compactShufflePatched - the same shuffles for a caller compiled for
//                    AVX2, with a tag's line feed or tab put in first.
//   compactCompressPatched - AVX-512 VBMI2: the whole block in one compress
//                    instruction (haveCompress()), with a tag's line feed or
//                    tab put in first.
// All give the same bytes.
#ifndef PLAINWRIT_BYTE_COMPACT_H
#define PLAINWRIT_BYTE_COMPACT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_blocks.h"

#if defined(PLAINWRIT_BLOCKS_SSE2) && defined(__GNUC__) && \
    (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#define PLAINWRIT_SHUFFLE_COMPACTION 1
#define PLAINWRIT_TARGET_SHUFFLE __attribute__((target("ssse3")))
#endif

namespace byte_compact {

constexpr std::size_t kRoom = byte_blocks::kBlock + 16;

inline unsigned char* compactWords(const unsigned char* block, std::uint64_t keep,
                                   unsigned char* out) {
    if (keep == ~std::uint64_t{0}) {
        std::memcpy(out, block, byte_blocks::kBlock);
        return out + byte_blocks::kBlock;
    }
    for (std::size_t i = 0; i < byte_blocks::kBlock; i += 8, keep >>= 8) {
        const unsigned bits = static_cast<unsigned>(keep & 0xFFU);
        if (bits == 0xFFU) {
            std::memcpy(out, block + i, 8);
            out += 8;
            continue;
        }
        // A store for every byte, the position moving only past kept ones:
        // no branch that depends on the data.
        for (unsigned j = 0; j < 8; ++j) {
            *out = block[i + j];
            out += (bits >> j) & 1U;
        }
    }
    return out;
}

// Text keeps most of its bytes in a few long runs between tags, so copying
// whole runs costs less than placing each byte. A copy may read up to 15
// bytes past the block (within block_kernel::kBlockReach).
inline unsigned char* compactRuns(const unsigned char* block, std::uint64_t keep,
                                  unsigned char* out) {
    if (keep == ~std::uint64_t{0}) {
        std::memcpy(out, block, byte_blocks::kBlock);
        return out + byte_blocks::kBlock;
    }
    while (keep != 0) {
        const std::size_t start = byte_blocks::lowest(keep);
        // Not all ones: the shift brings in zeros, or bit 63 of keep is clear.
        const std::size_t length = byte_blocks::lowest(~(keep >> start));
        for (std::size_t copied = 0; copied < length; copied += 16) {
            std::memcpy(out + copied, block + start + copied, 16);
        }
        out += length;
        keep &= keep + (keep & (0 - keep));  // clears the lowest run
    }
    return out;
}

#if defined(PLAINWRIT_SHUFFLE_COMPACTION)

// For each eight-bit mask: the offsets of its set bits in ascending order,
// then filler; and how many bits it has.
struct ShuffleTables {
    std::array<std::array<unsigned char, 8>, 256> offsets;
    std::array<unsigned char, 256> counts;
};

constexpr ShuffleTables buildShuffleTables() {
    ShuffleTables t{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned n = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((mask >> bit & 1U) != 0) t.offsets[mask][n++] = static_cast<unsigned char>(bit);
        }
        t.counts[mask] = static_cast<unsigned char>(n);
    }
    return t;
}

constexpr ShuffleTables kShuffle = buildShuffleTables();

// The kept bytes of 16, by the 16 bits of `keep`. Stores 16 bytes at most.
PLAINWRIT_TARGET_SHUFFLE inline unsigned char* compact16(__m128i v, unsigned keep,
                                                         unsigned char* out) {
    const unsigned low = keep & 0xFFU;
    const unsigned high = keep >> 8;
    const __m128i lowPick =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kShuffle.offsets[low].data()));
    const __m128i highPick =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kShuffle.offsets[high].data()));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(v, lowPick));
    out += kShuffle.counts[low];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                     _mm_shuffle_epi8(_mm_srli_si128(v, 8), highPick));
    return out + kShuffle.counts[high];
}

PLAINWRIT_TARGET_SHUFFLE inline unsigned char* compact16(const unsigned char* at, unsigned keep,
                                                         unsigned char* out) {
    return compact16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), keep, out);
}

PLAINWRIT_TARGET_SHUFFLE inline unsigned char* compactShuffle(const unsigned char* block,
                                                              std::uint64_t keep,
                                                              unsigned char* out) {
    if (keep == ~std::uint64_t{0}) {
        std::memcpy(out, block, byte_blocks::kBlock);
        return out + byte_blocks::kBlock;
    }
    out = compact16(block, static_cast<unsigned>(keep & 0xFFFFU), out);
    out = compact16(block + 16, static_cast<unsigned>(keep >> 16 & 0xFFFFU), out);
    out = compact16(block + 32, static_cast<unsigned>(keep >> 32 & 0xFFFFU), out);
    return compact16(block + 48, static_cast<unsigned>(keep >> 48), out);
}

#if defined(PLAINWRIT_BLOCKS_AVX2)
// Each bit of `bits` as a byte of all ones or all zeros: each byte of the
// word goes to eight bytes, and each of those tests its own bit.
PLAINWRIT_TARGET_AVX2 inline __m256i expandBits32(std::uint32_t bits) {
    const __m256i repeated =
        _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)),
                            _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2,
                                             2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3));
    const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
    return _mm256_cmpeq_epi8(_mm256_and_si256(repeated, bit), bit);
}

// A line feed in place of each byte of `appended`, a tab where `tabs` has
// it too: '\n' less one is '\t'.
PLAINWRIT_TARGET_AVX2 inline __m256i patch32(__m256i bytes, std::uint32_t appended,
                                             std::uint32_t tabs) {
    const __m256i fill = _mm256_add_epi8(_mm256_set1_epi8('\n'), expandBits32(tabs));
    return _mm256_blendv_epi8(bytes, fill, expandBits32(appended));
}

// The same with a tag's line feed or tab put in first, in the registers, as
// compactCompressPatched does: no loop and no branch per tag, where patching
// the output after the packing takes a branch that the tags of ordinary text
// make at random. `lineFeeds` and `tabs` lie within `keep`.
PLAINWRIT_TARGET_AVX2 inline unsigned char* compactShufflePatched(const unsigned char* block,
                                                                  std::uint64_t keep,
                                                                  std::uint64_t lineFeeds,
                                                                  std::uint64_t tabs,
                                                                  unsigned char* out) {
    const std::uint64_t appended = lineFeeds | tabs;
    if ((keep & ~appended) == ~std::uint64_t{0}) {
        // Text with no tag, as compactShuffle takes it.
        std::memcpy(out, block, byte_blocks::kBlock);
        return out + byte_blocks::kBlock;
    }
    const __m256i low =
        patch32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block)),
                static_cast<std::uint32_t>(appended), static_cast<std::uint32_t>(tabs));
    const __m256i high =
        patch32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32)),
                static_cast<std::uint32_t>(appended >> 32), static_cast<std::uint32_t>(tabs >> 32));
    out = compact16(_mm256_castsi256_si128(low), static_cast<unsigned>(keep & 0xFFFFU), out);
    out = compact16(_mm256_extracti128_si256(low, 1), static_cast<unsigned>(keep >> 16 & 0xFFFFU),
                    out);
    out = compact16(_mm256_castsi256_si128(high), static_cast<unsigned>(keep >> 32 & 0xFFFFU), out);
    return compact16(_mm256_extracti128_si256(high, 1), static_cast<unsigned>(keep >> 48), out);
}
#endif

// Whether the processor running this has the shuffle (SSSE3).
inline bool haveShuffle() { return processorFeatures().ssse3; }

#endif

#if defined(PLAINWRIT_BLOCKS_AVX512)

#define PLAINWRIT_TARGET_COMPRESS \
    __attribute__((target("avx512f,avx512bw,avx512vbmi2,avx2,bmi,bmi2,popcnt")))

// With a line feed in place of each byte of `lineFeeds` and a tab in place
// of each of `tabs`, put in before the packing: no loop and no branch per
// tag. The compress goes into a register, then one store: the form of the
// instruction that stores to memory is much slower on some processors.
PLAINWRIT_TARGET_COMPRESS inline unsigned char* compactCompressPatched(const unsigned char* block,
                                                                       std::uint64_t keep,
                                                                       std::uint64_t lineFeeds,
                                                                       std::uint64_t tabs,
                                                                       unsigned char* out) {
    __m512i bytes = _mm512_loadu_si512(block);
    bytes = _mm512_mask_mov_epi8(bytes, lineFeeds, _mm512_set1_epi8('\n'));
    bytes = _mm512_mask_mov_epi8(bytes, tabs, _mm512_set1_epi8('\t'));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, bytes));
    return out + __builtin_popcountll(keep);
}

// Whether the processor running this, and its system, can use compactCompressPatched
// beside classifyWidestMarks.
inline bool haveCompress() {
    // GCOVR_EXCL_BR_START: a processor without it is needed for the other outcome
    return processorFeatures().avx512vbmi2 && byte_blocks::haveWidest();
    // GCOVR_EXCL_BR_STOP
}

#endif

}  // namespace byte_compact

#endif
