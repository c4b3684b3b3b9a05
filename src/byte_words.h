// Eight bytes at a time: the word-wide byte tests the markup filter uses to
// find, in one step, the first byte of a word that needs a rule. Every mask
// has the high bit of each flagged byte set and is exact byte by byte (no
// borrow runs from one byte into the next), so masks can be combined and
// shifted freely.
#ifndef PLAINWRIT_BYTE_WORDS_H
#define PLAINWRIT_BYTE_WORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace byte_words {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kLows = 0x7F7F7F7F7F7F7F7FULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t load(const unsigned char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    return word;
}

inline void store(unsigned char* at, std::uint64_t word) { std::memcpy(at, &word, 8); }

// Bytes below `limit` (at most 0x80): bytes of 0x80 and above never are.
inline std::uint64_t below(std::uint64_t word, unsigned char limit) {
    return ~(((word & kLows) + kOnes * (0x80U - limit)) | word) & kHighs;
}

inline std::uint64_t equal(std::uint64_t word, unsigned char b) {
    const std::uint64_t x = word ^ (kOnes * b);
    return ~(((x & kLows) + kLows) | x) & kHighs;
}

inline std::uint64_t digits(std::uint64_t word) { return below(word, '9' + 1) & ~below(word, '0'); }

// ASCII upper-case letters to lower case, every other byte unchanged.
inline std::uint64_t foldAscii(std::uint64_t word) {
    const std::uint64_t upper = below(word, 'Z' + 1) & ~below(word, 'A');
    return word | (upper >> 2);
}

// Moves each byte's flag to the byte at the next higher address; the flag of
// the byte at the lowest address becomes `first`.
inline std::uint64_t toNextByte(std::uint64_t mask, bool first) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return (mask >> 8) | (first ? std::uint64_t{0x80} << 56 : 0);
#else
    return (mask << 8) | (first ? std::uint64_t{0x80} : 0);
#endif
}

// The offset of the flagged byte at the lowest address; `mask` is not 0.
inline std::size_t firstFlagged(std::uint64_t mask) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<std::size_t>(__builtin_clzll(mask)) / 8;
#elif defined(__GNUC__)
    return static_cast<std::size_t>(__builtin_ctzll(mask)) / 8;
#else
    std::size_t n = 0;
    while ((mask & 0x80) == 0) {
        mask >>= 8;
        ++n;
    }
    return n;
#endif
}

}  // namespace byte_words

#endif
