// Sixty-four bytes at a time: classifies a block of text into bit masks, one
// bit per byte (bit i for the byte at offset i), for the markup filter's
// block loop. SSE2 where the compiler offers it, eight-byte words otherwise;
// both give the same masks.
#ifndef PLAINWRIT_BYTE_BLOCKS_H
#define PLAINWRIT_BYTE_BLOCKS_H

#include <cstddef>
#include <cstdint>

#include "byte_words.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define PLAINWRIT_BLOCKS_SSE2 1
#endif

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define PLAINWRIT_HAVE_BYTE_BLOCKS 1
#endif

namespace byte_blocks {

constexpr std::size_t kBlock = 64;

struct BlockMasks {
    std::uint64_t control;  // below 0x20
    std::uint64_t open;     // "<"
    std::uint64_t close;    // ">"
    std::uint64_t blank;    // " "
    std::uint64_t digit;    // "0" to "9"
};

#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

// The portable way, also where SSE2 is used, so that tests can compare them.
// Gathers the high bit of each byte of a little-endian word into 8 bits.
inline std::uint64_t bits8(std::uint64_t flags, unsigned shift) {
    return (((flags >> 7) * 0x0102040810204080ULL) >> 56) << shift;
}

inline BlockMasks classifyWords(const unsigned char* at) {
    using namespace byte_words;
    BlockMasks m{0, 0, 0, 0, 0};
    for (unsigned i = 0; i < kBlock; i += 8) {
        const std::uint64_t w = load(at + i);
        m.control |= bits8(below(w, 0x20), i);
        m.open |= bits8(equal(w, '<'), i);
        m.close |= bits8(equal(w, '>'), i);
        m.blank |= bits8(equal(w, ' '), i);
        m.digit |= bits8(digits(w), i);
    }
    return m;
}

#endif

#if defined(PLAINWRIT_BLOCKS_SSE2)

inline std::uint64_t bits16(__m128i flags, unsigned shift) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(flags))) << shift;
}

inline BlockMasks classifyVectors(const unsigned char* at) {
    const __m128i lastControl = _mm_set1_epi8(0x1F);
    const __m128i open = _mm_set1_epi8('<');
    const __m128i close = _mm_set1_epi8('>');
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    BlockMasks m{0, 0, 0, 0, 0};
    for (unsigned i = 0; i < kBlock; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
        const __m128i fromZero = _mm_sub_epi8(v, zero);
        m.control |= bits16(_mm_cmpeq_epi8(_mm_max_epu8(v, lastControl), lastControl), i);
        m.open |= bits16(_mm_cmpeq_epi8(v, open), i);
        m.close |= bits16(_mm_cmpeq_epi8(v, close), i);
        m.blank |= bits16(_mm_cmpeq_epi8(v, blank), i);
        m.digit |= bits16(_mm_cmpeq_epi8(_mm_min_epu8(fromZero, nine), fromZero), i);
    }
    return m;
}

inline BlockMasks classify(const unsigned char* at) { return classifyVectors(at); }

#elif defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

inline BlockMasks classify(const unsigned char* at) { return classifyWords(at); }

#endif

// The bits at offset `from` and above (none when `from` is 64).
inline std::uint64_t bitsFrom(std::size_t from) {
    return from >= 64 ? 0 : ~std::uint64_t{0} << from;
}

inline std::size_t lowest(std::uint64_t bits) {
#if defined(__GNUC__)
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

}  // namespace byte_blocks

#endif
