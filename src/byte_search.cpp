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

bool isStop(unsigned char c, unsigned char third) {
    return c == kCarriageReturn || c == kEndOfText || c == third;
}

// Byte by byte from offset `i`: the reference, and the end of every other form.
std::size_t findByBytes(const unsigned char* at, std::size_t i, std::size_t size,
                        unsigned char third) {
    while (i < size && !isStop(at[i], third)) ++i;
    return i;
}

std::size_t moveByBytes(unsigned char* to, const unsigned char* from, std::size_t i,
                        std::size_t size, unsigned char third) {
    for (; i < size && !isStop(from[i], third); ++i) to[i] = from[i];
    return i;
}

#if defined(PLAINWRIT_BLOCKS_SSE2)

PLAINWRIT_TARGET_SSE2 inline __m128i stops16(__m128i v, __m128i third) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(kCarriageReturn)),
                                     _mm_cmpeq_epi8(v, _mm_set1_epi8(kEndOfText))),
                        _mm_cmpeq_epi8(v, third));
}

PLAINWRIT_TARGET_SSE2 inline __m128i load16(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Nothing to move: sixty-four bytes a step while nothing stops, then the
// step that has a stop again sixteen bytes at a time for its offset.
PLAINWRIT_TARGET_SSE2 std::size_t findByVectors(const unsigned char* at, std::size_t size,
                                                unsigned char third) {
    const __m128i thirdBytes = _mm_set1_epi8(static_cast<char>(third));
    std::size_t i = 0;
    for (; size - i >= 64; i += 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(stops16(load16(at + i), thirdBytes),
                                                      stops16(load16(at + i + 16), thirdBytes)),
                                         _mm_or_si128(stops16(load16(at + i + 32), thirdBytes),
                                                      stops16(load16(at + i + 48), thirdBytes)));
        if (_mm_movemask_epi8(any) != 0) break;
    }
    for (; size - i >= 16; i += 16) {
        const auto hits =
            static_cast<unsigned>(_mm_movemask_epi8(stops16(load16(at + i), thirdBytes)));
        if (hits != 0) return i + byte_blocks::lowest(hits);
    }
    return findByBytes(at, i, size, third);
}

// Moving down: each sixteen bytes are loaded before any store can reach
// them. The step that has a stop is stored whole only when the gap is a
// step or more: otherwise its bytes past the stop could land on raw bytes
// not yet read, and the bytes before the stop go one by one.
PLAINWRIT_TARGET_SSE2 std::size_t moveByVectors(unsigned char* to, const unsigned char* from,
                                                std::size_t size, unsigned char third) {
    const __m128i thirdBytes = _mm_set1_epi8(static_cast<char>(third));
    const bool wholeSteps = static_cast<std::size_t>(from - to) >= 16;
    std::size_t i = 0;
    for (; size - i >= 16; i += 16) {
        const __m128i v = load16(from + i);
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(stops16(v, thirdBytes)));
        if (hits != 0 && !wholeSteps) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), v);
        if (hits != 0) return i + byte_blocks::lowest(hits);
    }
    return moveByBytes(to, from, i, size, third);
}

std::size_t moveOrFindByVectors(char* to, const char* from, std::size_t size, ReadStops stops) {
    auto* const out = reinterpret_cast<unsigned char*>(to);
    const auto* const in = reinterpret_cast<const unsigned char*>(from);
    return out == in ? findByVectors(in, size, thirdStop(stops))
                     : moveByVectors(out, in, size, thirdStop(stops));
}

#endif

}  // namespace

std::size_t moveToReadStopBytes(char* to, const char* from, std::size_t size, ReadStops stops) {
    auto* const out = reinterpret_cast<unsigned char*>(to);
    const auto* const in = reinterpret_cast<const unsigned char*>(from);
    return out == in ? findByBytes(in, 0, size, thirdStop(stops))
                     : moveByBytes(out, in, 0, size, thirdStop(stops));
}

std::size_t moveToReadStopWords(char* to, const char* from, std::size_t size, ReadStops stops) {
    auto* const out = reinterpret_cast<unsigned char*>(to);
    const auto* const in = reinterpret_cast<const unsigned char*>(from);
    const unsigned char third = thirdStop(stops);
    const bool wholeSteps = static_cast<std::size_t>(in - out) >= 8;  // as in moveByVectors
    std::size_t i = 0;
    for (; size - i >= 8; i += 8) {
        const std::uint64_t word = byte_words::load(in + i);
        const std::uint64_t hits = byte_words::equal(word, kCarriageReturn) |
                                   byte_words::equal(word, kEndOfText) |
                                   byte_words::equal(word, third);
        if (hits != 0 && !wholeSteps) break;
        if (out != in) byte_words::store(out + i, word);
        if (hits != 0) return i + byte_words::firstFlagged(hits);
    }
    return out == in ? findByBytes(in, i, size, third) : moveByBytes(out, in, i, size, third);
}

std::size_t moveToReadStop(char* to, const char* from, std::size_t size, ReadStops stops) {
#if defined(PLAINWRIT_SSE2_EVERYWHERE)
    return moveOrFindByVectors(to, from, size, stops);
#else
#if defined(PLAINWRIT_BLOCKS_SSE2)
    if (byte_blocks::haveVectors()) return moveOrFindByVectors(to, from, size, stops);
#endif
    return moveToReadStopWords(to, from, size, stops);
#endif
}
