// Markup filter. The pass is a small state machine over the input:
//   inside a tag      -> jump to the next ">" (a word-wide look, then memchr);
//   inside a script   -> jump to the next "<";
//   before any text,
//   after whitespace  -> skip blanks and control bytes in a tight loop;
//   ordinary text     -> 64-byte blocks: one classification into bit masks,
//                        the blank rules as mask arithmetic, the text between
//                        tags and control bytes copied in bulk, tags handled
//                        in the block; near the end of the input, runs of
//                        plain bytes copied eight at a time instead.
// At a "<" only the prefixes whose second and third bytes match are compared.
// Every rule is still decided per byte, so the fast paths give the same
// result as looking at each byte in turn.
#include "markup_filter.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "byte_blocks.h"
#include "byte_words.h"
#include "entities.h"

namespace {

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

struct TagPrefix {
    const char* text;    // lower case
    std::size_t length;  // bytes compared: only these take part
    TagEffect effect;
    bool outsideTableOnly;  // inside a table this row and all after it are skipped
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

// Compares case-insensitively; a prefix longer than what is left before the
// terminator cannot match, so nothing past it is read.
inline bool startsWith(const unsigned char* at, const unsigned char* end, const TagPrefix& prefix) {
    if (static_cast<std::size_t>(end - at) < prefix.length) return false;
    for (std::size_t i = 0; i < prefix.length; ++i) {
        if (foldAscii(at[i]) != static_cast<unsigned char>(prefix.text[i])) return false;
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

inline std::size_t lowestBit(unsigned bits) { return byte_blocks::lowest(bits); }

// The table state first, then the first effect row that matches, exactly as
// if every row were tried in order: rows left out cannot match.
inline void applyTagPrefixes(const unsigned char* at, const unsigned char* end, unsigned candidates,
                             unsigned char*& out, FilterState& state) {
    if ((candidates & kTableStartBit) != 0 && startsWith(at, end, kTableStart)) {
        state.inTable = true;
    } else if ((candidates & kTableEndBit) != 0 && startsWith(at, end, kTableEnd)) {
        state.inTable = false;
    }
    unsigned rows = candidates & (state.inTable ? kInTableRows : rowsBefore(kRowCount));
    for (; rows != 0; rows &= rows - 1) {
        const TagPrefix& row = kTagEffects[lowestBit(rows)];
        if (!startsWith(at, end, row)) continue;
        switch (row.effect) {
            case TagEffect::kStartScript: state.inScript = true; break;
            case TagEffect::kEndScript: state.inScript = false; break;
            case TagEffect::kLineFeed: *out++ = '\n'; break;
            case TagEffect::kTab: *out++ = '\t'; break;
        }
        return;
    }
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
    const auto* close = static_cast<const unsigned char*>(
        std::memchr(from, kTagClose, static_cast<std::size_t>(end - from)));
    return close ? close + 1 : end;
}

// The table state and the effect of the tag that starts at the "<" at `at`.
// at[1] is at worst the terminator, which has no candidates.
inline void applyTagEffects(const unsigned char* at, const unsigned char* end, unsigned char*& out,
                            FilterState& state) {
    unsigned candidates = kBySecondByte[at[1]];
    if (candidates != 0) {
        candidates &= kByThirdByte[at[2]];  // at[1] is not the terminator: at[2] can be read
        if (candidates != 0) applyTagPrefixes(at, end, candidates, out, state);
    }
}

// Handles the tag that starts at the "<" at `at` and returns the position
// after its ">".
inline const unsigned char* takeTag(const unsigned char* at, const unsigned char* end,
                                    unsigned char*& out, FilterState& state) {
    applyTagEffects(at, end, out, state);
    return skipTag(at, end);
}

inline bool isRunByte(unsigned char b) { return b > kBlank && b != kTagOpen; }

// Flags, in a word of text, the bytes the copy must stop at: control bytes,
// "<", and blanks whose input byte before is a digit or a blank
// (`beforeIsDigitOrBlank` tells it for the first byte). Any other blank comes
// after a plain byte that was written, so it is simply kept.
inline std::uint64_t runStops(std::uint64_t word, bool beforeIsDigitOrBlank) {
    using namespace byte_words;
    const std::uint64_t blanks = equal(word, kBlank);
    const std::uint64_t watched = toNextByte(digits(word) | blanks, beforeIsDigitOrBlank);
    return below(word, kFirstNonControl) | equal(word, kTagOpen) | (blanks & watched);
}

// Copies plain text from `in`, which must be a plain byte, up to the next
// byte that needs the main loop. A blank after a plain byte of this run is
// decided here, as the main loop would: kept after a non-digit, dropped
// between two digits, and a blank after a kept blank goes back to the main
// loop. The eight-byte stores may write past the run, but never past the
// part of the output that the input read so far could fill: the output never
// runs ahead of the input.
inline void copyRun(const unsigned char*& in, const unsigned char* end, unsigned char*& out) {
    for (;;) {
        if (end - in < 8) {
            while (in < end && isRunByte(*in)) *out++ = *in++;
            return;
        }
        const std::uint64_t word = byte_words::load(in);
        byte_words::store(out, word);
        const unsigned char last = in[-1];  // a text byte was written, so in > input
        const std::uint64_t stops = runStops(word, isDigit(last) || last == kBlank);
        if (stops == 0) {
            in += 8;
            out += 8;
            continue;
        }
        const std::size_t n = byte_words::firstFlagged(stops);
        in += n;
        out += n;
        // At n == 0 (only right after a blank decided here) in[-1] is that
        // blank; otherwise it is a byte of this run.
        if (*in != kBlank || in[-1] == kBlank) return;
        // A blank after a digit: dropped when a digit follows (in[1] is at
        // worst the terminator); then whole runs of "digit blank digit" go
        // two bytes a step.
        ++in;
        if (!isDigit(*in)) {
            *out++ = kBlank;
            continue;
        }
        while (in[1] == kBlank && isDigit(in[2])) {
            *out++ = *in;
            in += 2;
        }
    }
}

#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

// Input a block may look at: the block, the byte after it, and the 16-byte
// copies that may start anywhere in it.
constexpr std::ptrdiff_t kBlockReach = byte_blocks::kBlock + 16;

// Copies the bytes [from, to) of the block at `base` that `drop` does not
// flag. The 16-byte copies may write past what they keep, never past the
// input's length: the output does not run ahead of the input.
inline void copyKept(const unsigned char* base, std::size_t from, std::size_t to,
                     std::uint64_t drop, unsigned char*& out) {
    for (;;) {
        const std::size_t upTo = drop != 0 ? byte_blocks::lowest(drop) : to;
        for (std::size_t s = from; s < upTo; s += 16) std::memcpy(out + (s - from), base + s, 16);
        out += upTo - from;
        if (drop == 0) return;
        from = upTo + 1;
        drop &= drop - 1;
    }
}

// Ordinary text, a block of 64 bytes at a time: one classification gives
// every control byte, "<", ">", blank and digit of the block, the blank rules
// become mask arithmetic, and the text between the stops is copied in bulk.
// Tags are handled in place; returns at a script start or near the end.
//   rule 6: a blank is dropped after a blank (the first blank after a stop
//           is checked against the byte really written last);
//   rule 7: a blank between two digit bytes of the input is dropped.
inline void filterBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                         FilterState& state) {
    using byte_blocks::bitsFrom;
    using byte_blocks::lowest;
    constexpr std::size_t kBlock = byte_blocks::kBlock;
    while (end - in >= kBlockReach) {
        const unsigned char* const base = in;
        const byte_blocks::BlockMasks m = byte_blocks::classify(base);
        const std::uint64_t stops = m.control | m.open;
        // base[-1] exists: a text byte was written from before `base`.
        const std::uint64_t digitBefore = (m.digit << 1) | std::uint64_t{isDigit(base[-1])};
        const std::uint64_t digitAfter = (m.digit >> 1) | std::uint64_t{isDigit(base[kBlock])}
                                                              << 63;
        const std::uint64_t betweenDigits = m.blank & digitBefore & digitAfter;
        const std::uint64_t afterBlank = m.blank & (m.blank << 1);
        std::size_t p = 0;  // the next byte of the block to take
        in = base + kBlock;
        while (p < kBlock) {
            const std::uint64_t ahead = stops & bitsFrom(p);
            const std::size_t stop = ahead != 0 ? lowest(ahead) : kBlock;
            const std::uint64_t first = std::uint64_t{1} << p;
            std::uint64_t drop = (afterBlank & ~first) | betweenDigits;
            if ((m.blank & first) != 0 && isWrittenWhitespace(out[-1])) drop |= first;
            copyKept(base, p, stop, drop & bitsFrom(p) & ~bitsFrom(stop), out);
            if (stop == kBlock) break;
            if ((m.control >> stop & 1) != 0) {
                p = stop + 1;
                continue;
            }
            applyTagEffects(base + stop, end, out, state);
            const std::uint64_t closes = m.close & bitsFrom(stop + 1);
            if (closes == 0) {
                const auto* close = static_cast<const unsigned char*>(std::memchr(
                    base + kBlock, kTagClose, static_cast<std::size_t>(end - base - kBlock)));
                in = close ? close + 1 : end;
                break;
            }
            p = lowest(closes) + 1;
            if (state.inScript) {
                in = base + p;
                break;
            }
        }
        if (state.inScript) return;
    }
}

#endif

// Blanks and control bytes that would all be dropped: before any text, or
// while the last byte written is whitespace.
inline const unsigned char* skipDropped(const unsigned char* in, const unsigned char* end) {
    while (in < end && *in <= kBlank) ++in;
    return in;
}

}  // namespace

std::size_t filterMarkup(const char* input, std::size_t length, char* output) {
    const auto* in = reinterpret_cast<const unsigned char*>(input);
    const unsigned char* const end = in + length;
    auto* const outBegin = reinterpret_cast<unsigned char*>(output);
    unsigned char* out = outBegin;
    FilterState state;

    while (in < end) {
        const unsigned char b = *in;
        if (b == kTagOpen) {
            in = takeTag(in, end, out, state);
        } else if (b < kFirstNonControl) {
            ++in;
        } else if (state.inScript) {
            const auto* open = static_cast<const unsigned char*>(
                std::memchr(in, kTagOpen, static_cast<std::size_t>(end - in)));
            in = open ? open : end;
        } else if (state.atStart) {
            if (b == kBlank) {
                in = skipDropped(in, end);
                continue;
            }
            *out++ = b;
            state.atStart = false;
            ++in;
        } else if (b == kBlank) {
            // A text byte was written before, so in[-1] is inside the input;
            // in[1] is at worst the terminator.
            if (isWrittenWhitespace(out[-1])) {
                in = skipDropped(in, end);
                continue;
            }
            if (!(isDigit(in[-1]) && isDigit(in[1]))) *out++ = kBlank;
            ++in;
        } else {
#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)
            if (end - in >= kBlockReach) {
                filterBlocks(in, end, out, state);
                continue;
            }
#endif
            copyRun(in, end, out);
        }
    }
    *out = '\0';
    return decodeEntities(output, static_cast<std::size_t>(out - outBegin));
}

void filterMarkup(const char* input, char* output) {
    filterMarkup(input, std::strlen(input), output);
}
