// The tag rules: which tags change the table or script state, which leave a
// line feed or a tab behind, and where a tag ends. A tag's name is compared
// case-insensitively with fixed prefixes, in a fixed order, and only as many
// bytes as each prefix has; the first row that matches is the only one
// applied. The byte-by-byte loop and the block kernel both decide tags here.
#ifndef PLAINWRIT_TAG_RULES_H
#define PLAINWRIT_TAG_RULES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_blocks.h"
#include "byte_words.h"

namespace tag_rules {

constexpr unsigned char kTagOpen = '<';
constexpr unsigned char kTagClose = '>';
constexpr unsigned char kBlank = ' ';
constexpr unsigned char kFirstNonControl = 0x20;

inline bool isDigit(unsigned char b) { return b >= '0' && b <= '9'; }

// The bytes a tag may have written, and the blank: the only whitespace that
// can be the last byte written, since control bytes never reach the output.
inline bool isWrittenWhitespace(unsigned char b) { return b == ' ' || b == '\n' || b == '\t'; }

inline unsigned char foldAscii(unsigned char b) {
    return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

enum class TagEffect : unsigned char { kStartScript, kEndScript, kLineFeed, kTab };

// The first `length` bytes of `text` as a little-endian word.
constexpr std::uint64_t packWord(const char* text, std::size_t length) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < length; ++i) {
        word |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
    }
    return word;
}

struct TagPrefix {
    const char* text;    // lower case
    std::size_t length;  // bytes compared: only these take part (at most 8)
    TagEffect effect;
    bool outsideTableOnly;  // inside a table this row and all after it are skipped
    std::uint64_t word;     // the compared bytes, for a word-wide comparison
    std::uint64_t mask;     // which bytes of a word they are

    constexpr TagPrefix(const char* prefixText, std::size_t prefixLength, TagEffect tagEffect,
                        bool onlyOutsideTables)
        : text(prefixText),
          length(prefixLength),
          effect(tagEffect),
          outsideTableOnly(onlyOutsideTables),
          word(packWord(prefixText, prefixLength)),
          mask(prefixLength >= 8 ? ~std::uint64_t{0}
                                 : (std::uint64_t{1} << (8 * prefixLength)) - 1) {}
};

// Tried in this order; the first row that matches is the only one applied.
// clang-format off
constexpr TagPrefix kTagEffects[] = {
    {"<scrip",  6, TagEffect::kStartScript, false},
    {"</scrip", 7, TagEffect::kEndScript,   false},
    {"<tr",     3, TagEffect::kLineFeed,    false},
    {"<td",     3, TagEffect::kTab,         false},
    {"<br",     3, TagEffect::kLineFeed,    true},
    {"<hr",     3, TagEffect::kLineFeed,    true},
    {"<p",      2, TagEffect::kLineFeed,    true},
    {"</title", 7, TagEffect::kLineFeed,    true},
};
// clang-format on

constexpr TagPrefix kTableStart = {"<table", 6, TagEffect::kLineFeed, false};
constexpr TagPrefix kTableEnd = {"</table", 7, TagEffect::kLineFeed, false};

// The start of a tag, read once for all the prefixes it is compared with.
struct TagHead {
    const unsigned char* at;
    const unsigned char* end;
    std::uint64_t folded;  // its first eight bytes in lower case, when `wide`
    bool wide;             // eight bytes could be read before the terminator
};

inline TagHead readTagHead(const unsigned char* at, const unsigned char* end) {
#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)
    if (end - at >= 8) return {at, end, byte_words::foldAscii(byte_words::load(at)), true};
#endif
    return {at, end, 0, false};
}

// Compares case-insensitively; a prefix longer than what is left before the
// terminator cannot match, so nothing past it is read.
inline bool startsWith(const TagHead& head, const TagPrefix& prefix) {
    if (head.wide) return (head.folded & prefix.mask) == prefix.word;
    if (static_cast<std::size_t>(head.end - head.at) < prefix.length) return false;
    for (std::size_t i = 0; i < prefix.length; ++i) {
        if (foldAscii(head.at[i]) != static_cast<unsigned char>(prefix.text[i])) return false;
    }
    return true;
}

// Which prefixes a tag can match, by its second and by its third byte: one
// bit per row of kTagEffects, then the two table prefixes. A prefix shorter
// than the byte's position does not look at it and is in every entry. Most
// tags ("<b", "<a", "</a", "</b", "<div"...) are left with no bit and cost two
// table looks.
constexpr std::size_t kRowCount = sizeof(kTagEffects) / sizeof(kTagEffects[0]);
constexpr unsigned kTableStartBit = 1U << kRowCount;
constexpr unsigned kTableEndBit = 1U << (kRowCount + 1);

using CandidateTable = std::array<unsigned, 256>;

constexpr void markByte(CandidateTable& bits, const TagPrefix& prefix, std::size_t position,
                        unsigned bit) {
    if (prefix.length <= position) {
        for (std::size_t i = 0; i < bits.size(); ++i) bits[i] |= bit;
        return;
    }
    const auto b = static_cast<unsigned char>(prefix.text[position]);
    bits[b] |= bit;
    if (b >= 'a' && b <= 'z') bits[b - ('a' - 'A')] |= bit;
}

constexpr CandidateTable buildCandidates(std::size_t position) {
    CandidateTable bits{};
    for (std::size_t i = 0; i < kRowCount; ++i) markByte(bits, kTagEffects[i], position, 1U << i);
    markByte(bits, kTableStart, position, kTableStartBit);
    markByte(bits, kTableEnd, position, kTableEndBit);
    return bits;
}

constexpr CandidateTable kBySecondByte = buildCandidates(1);
constexpr CandidateTable kByThirdByte = buildCandidates(2);
static_assert(kBySecondByte[0] == 0, "a \"<\" at the very end matches nothing");

struct FilterState {
    bool inScript = false;
    bool inTable = false;
    bool atStart = true;
    // The block loop hands back to its caller once the input reaches this.
    const unsigned char* pauseAt = nullptr;
};

constexpr unsigned rowsBefore(std::size_t end) {
    return end == 0 ? 0 : rowsBefore(end - 1) | 1U << (end - 1);
}

// The rows tried inside a table: those before the first row that applies
// only outside one.
constexpr unsigned inTableRows() {
    std::size_t n = 0;
    while (n < kRowCount && !kTagEffects[n].outsideTableOnly) ++n;
    return rowsBefore(n);
}
constexpr unsigned kInTableRows = inTableRows();
constexpr unsigned kAllRows = rowsBefore(kRowCount);
constexpr unsigned kOutsideTableRows = kAllRows & ~kInTableRows;

inline std::size_t lowestBit(unsigned bits) { return byte_blocks::lowest(bits); }

// The rows that need a comparison after the second- and third-byte tables,
// and the table prefixes (all longer than three bytes); and what each
// shorter row appends (none of them starts or ends a script).
constexpr unsigned comparedRows() {
    unsigned rows = kTableStartBit | kTableEndBit;
    for (std::size_t i = 0; i < kRowCount; ++i) {
        if (kTagEffects[i].length > 3) rows |= 1U << i;
    }
    return rows;
}
constexpr unsigned kComparedRows = comparedRows();
static_assert(kTableStart.length > 3 && kTableEnd.length > 3, "table prefixes are compared");

constexpr std::array<unsigned char, kRowCount> rowAppends() {
    std::array<unsigned char, kRowCount> appends{};
    for (std::size_t i = 0; i < kRowCount; ++i) {
        const TagEffect effect = kTagEffects[i].effect;
        appends[i] = effect == TagEffect::kLineFeed ? '\n' : effect == TagEffect::kTab ? '\t' : 0;
    }
    return appends;
}
constexpr std::array<unsigned char, kRowCount> kRowAppends = rowAppends();

constexpr bool shortRowsOnlyAppend() {
    for (std::size_t i = 0; i < kRowCount; ++i) {
        if (kTagEffects[i].length <= 3 && kRowAppends[i] == 0) return false;
    }
    return true;
}
static_assert(shortRowsOnlyAppend(), "a short row that changes a state would need its own case");

// The table state first, then the first effect row that matches, exactly as
// if every row were tried in order: rows left out cannot match. Returns the
// byte the tag appends, or 0.
inline unsigned char applyTagPrefixes(const unsigned char* at, const unsigned char* end,
                                      unsigned candidates, FilterState& state) {
    const TagHead head = readTagHead(at, end);
    if ((candidates & kTableStartBit) != 0 && startsWith(head, kTableStart)) {
        state.inTable = true;
    } else if ((candidates & kTableEndBit) != 0 && startsWith(head, kTableEnd)) {
        state.inTable = false;
    }
    // Inside a table the rows that apply only outside one are left out; as
    // arithmetic, not a choice, since outside a table some row is always left.
    unsigned rows = candidates & kAllRows & ~(kOutsideTableRows * unsigned{state.inTable});
    for (; rows != 0; rows &= rows - 1) {
        const std::size_t index = lowestBit(rows);
        const TagPrefix& row = kTagEffects[index];
        if (!startsWith(head, row)) continue;
        if (row.effect == TagEffect::kStartScript || row.effect == TagEffect::kEndScript) {
            state.inScript = row.effect == TagEffect::kStartScript;
            return 0;
        }
        return kRowAppends[index];
    }
    return 0;
}

// The position after the next ">" at or after `from`, or `end`.
inline const unsigned char* afterClose(const unsigned char* from, const unsigned char* end) {
    const auto* close = static_cast<const unsigned char*>(
        std::memchr(from, kTagClose, static_cast<std::size_t>(end - from)));
    return close ? close + 1 : end;
}

// The position after the ">" that closes the tag opened at `at`, or `end`.
// Most tags are short: one word-wide look finds their ">" without a call.
inline const unsigned char* skipTag(const unsigned char* at, const unsigned char* end) {
    const unsigned char* from = at + 1;
    if (end - from >= 8) {
        const std::uint64_t closes = byte_words::equal(byte_words::load(from), kTagClose);
        if (closes != 0) return from + byte_words::firstFlagged(closes) + 1;
        from += 8;
    }
    return afterClose(from, end);
}

// The table state and the effect of a tag whose candidate rows, by its
// second and third byte, are `candidates` (not none).
inline unsigned char applyCandidates(const unsigned char* at, const unsigned char* end,
                                     unsigned candidates, FilterState& state) {
    if ((candidates & kComparedRows) != 0) return applyTagPrefixes(at, end, candidates, state);
    // Only prefixes of up to three bytes are left, and the tables have
    // already matched all their bytes.
    const unsigned rows = candidates & (state.inTable ? kInTableRows : rowsBefore(kRowCount));
    return rows == 0 ? 0 : kRowAppends[lowestBit(rows)];
}

// The table state and the effect of the tag that starts at the "<" at `at`,
// which has at least two bytes after it before `end`, as every "<" of a
// block does; returns the byte the tag appends, or 0.
inline unsigned char applyTagEffectsWithin(const unsigned char* at, const unsigned char* end,
                                           FilterState& state) {
    unsigned candidates = kBySecondByte[at[1]];
    if (candidates == 0) return 0;
    candidates &= kByThirdByte[at[2]];
    return applyCandidates(at, end, candidates, state);
}

// The same for any "<". Nothing at or past `end` is read: a byte the input
// lacks counts as a terminator would, which has no candidates.
inline unsigned char applyTagEffects(const unsigned char* at, const unsigned char* end,
                                     FilterState& state) {
    if (end - at > 2) return applyTagEffectsWithin(at, end, state);
    const unsigned candidates = kBySecondByte[end - at > 1 ? at[1] : 0] & kByThirdByte[0];
    return candidates == 0 ? 0 : applyCandidates(at, end, candidates, state);
}

// Handles the tag that starts at the "<" at `at` and returns the position
// after its ">".
inline const unsigned char* takeTag(const unsigned char* at, const unsigned char* end,
                                    unsigned char*& out, FilterState& state) {
    const unsigned char appended = applyTagEffects(at, end, state);
    if (appended != 0) *out++ = appended;
    return skipTag(at, end);
}

}  // namespace tag_rules

#endif
