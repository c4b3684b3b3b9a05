// Entity decoder. The table below is the data of record; a small open-address
// hash index over it is built at compile time, so finding the row for an "&"
// costs one word-wide look for the ";" and one or two key comparisons, never a
// walk over all 196 names.
#include "entities.h"

#include <array>
#include <cstdint>
#include <cstring>

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

// Decodes from the cursor on: the references that start before `stop`, and
// the plain bytes before it. A reference may read up to `end`: the
// terminator, or where the text written so far ends (then `stop` is at least
// a longest reference before it).
void decodeUpTo(unsigned char* text, const unsigned char* stop, const unsigned char* end,
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
        const auto* next = static_cast<const unsigned char*>(
            std::memchr(read, '&', static_cast<std::size_t>(stop - read)));
        const std::size_t plain = static_cast<std::size_t>((next ? next : stop) - read);
        if (write != read) std::memmove(write, read, plain);
        write += plain;
        read += plain;
    }
    cursor.read = static_cast<std::size_t>(read - text);
    cursor.write = static_cast<std::size_t>(write - text);
}

}  // namespace

void decodeEntitiesReady(char* text, std::size_t ready, DecodeCursor& cursor) {
    if (ready <= cursor.read + kMaxNameBytes) return;
    auto* const begin = reinterpret_cast<unsigned char*>(text);
    decodeUpTo(begin, begin + ready - kMaxNameBytes, begin + ready, cursor);
}

std::size_t decodeEntitiesFinish(char* text, std::size_t length, DecodeCursor& cursor) {
    auto* const begin = reinterpret_cast<unsigned char*>(text);
    decodeUpTo(begin, begin + length, begin + length, cursor);
    begin[cursor.write] = '\0';
    return cursor.write;
}

std::size_t decodeEntities(char* text, std::size_t length) {
    DecodeCursor cursor;
    return decodeEntitiesFinish(text, length, cursor);
}

void decodeEntities(char* text) { decodeEntities(text, std::strlen(text)); }
