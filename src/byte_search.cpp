#include "byte_search.h"

#include <cstdint>

#include "byte_blocks.h"
#include "byte_words.h"

namespace {

constexpr unsigned char kCarriageReturn = '\r';
constexpr unsigned char kEndOfText = 0x1A;

// The third byte to stop at: NUL, or CR again when NUL is not a stop, so
// that every form tests the same three bytes without a branch.
unsigned char thirdStop(ReadStops stops) {
    return stops == ReadStops::kWithNul ? 0 : kCarriageReturn;
}

std::size_t finishByBytes(const unsigned char* at, std::size_t from, std::size_t size,
                          unsigned char third) {
    while (from < size && at[from] != kCarriageReturn && at[from] != kEndOfText &&
           at[from] != third) {
        ++from;
    }
    return from;
}

#if defined(PLAINWRIT_BLOCKS_SSE2)

PLAINWRIT_TARGET_SSE2 inline __m128i stops16(const unsigned char* at, __m128i third) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(kCarriageReturn)),
                                     _mm_cmpeq_epi8(v, _mm_set1_epi8(kEndOfText))),
                        _mm_cmpeq_epi8(v, third));
}

// Sixty-four bytes a step while nothing stops; the step that has a stop is
// then taken again sixteen bytes at a time to find its offset.
PLAINWRIT_TARGET_SSE2 std::size_t findByVectors(const unsigned char* at, std::size_t size,
                                                unsigned char third) {
    const __m128i thirdBytes = _mm_set1_epi8(static_cast<char>(third));
    std::size_t i = 0;
    for (; size - i >= 64; i += 64) {
        const __m128i any = _mm_or_si128(
            _mm_or_si128(stops16(at + i, thirdBytes), stops16(at + i + 16, thirdBytes)),
            _mm_or_si128(stops16(at + i + 32, thirdBytes), stops16(at + i + 48, thirdBytes)));
        if (_mm_movemask_epi8(any) != 0) break;
    }
    for (; size - i >= 16; i += 16) {
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(stops16(at + i, thirdBytes)));
        if (hits != 0) return i + byte_blocks::lowest(hits);
    }
    return finishByBytes(at, i, size, third);
}

#endif

}  // namespace

std::size_t findReadStopBytes(const char* at, std::size_t size, ReadStops stops) {
    return finishByBytes(reinterpret_cast<const unsigned char*>(at), 0, size, thirdStop(stops));
}

std::size_t findReadStopWords(const char* at, std::size_t size, ReadStops stops) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(at);
    const unsigned char third = thirdStop(stops);
    std::size_t i = 0;
    for (; size - i >= 8; i += 8) {
        const std::uint64_t word = byte_words::load(bytes + i);
        const std::uint64_t hits = byte_words::equal(word, kCarriageReturn) |
                                   byte_words::equal(word, kEndOfText) |
                                   byte_words::equal(word, third);
        if (hits != 0) return i + byte_words::firstFlagged(hits);
    }
    return finishByBytes(bytes, i, size, third);
}

std::size_t findReadStop(const char* at, std::size_t size, ReadStops stops) {
#if defined(PLAINWRIT_SSE2_EVERYWHERE)
    return findByVectors(reinterpret_cast<const unsigned char*>(at), size, thirdStop(stops));
#else
#if defined(PLAINWRIT_BLOCKS_SSE2)
    if (byte_blocks::haveVectors()) {
        return findByVectors(reinterpret_cast<const unsigned char*>(at), size, thirdStop(stops));
    }
#endif
    return findReadStopWords(at, size, stops);
#endif
}
