// Markup filter. The pass is a small state machine over the input:
//   inside a tag      -> jump to the next ">" (memchr);
//   inside a script   -> jump to the next "<";
//   before any text   -> drop blanks and control bytes;
//   ordinary text     -> copy runs of plain bytes eight at a time and stop
//                        only at a blank, a control byte or a "<".
// Every rule is still decided per byte at those stops, so the fast paths
// give the same result as looking at each byte in turn.
#include "markup_filter.h"

#include <cstdint>
#include <cstring>

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

struct FilterState {
    bool inScript = false;
    bool inTable = false;
    bool atStart = true;
};

// Handles the tag that starts at the "<" at `at`: updates the table and
// script states, appends the tag's line feed or tab, and returns the position
// after the tag's ">" (or `end` when the tag never closes).
inline const unsigned char* takeTag(const unsigned char* at, const unsigned char* end,
                                    unsigned char*& out, FilterState& state) {
    if (startsWith(at, end, kTableStart)) {
        state.inTable = true;
    } else if (startsWith(at, end, kTableEnd)) {
        state.inTable = false;
    }
    for (const TagPrefix& row : kTagEffects) {
        if (row.outsideTableOnly && state.inTable) break;
        if (!startsWith(at, end, row)) continue;
        switch (row.effect) {
            case TagEffect::kStartScript: state.inScript = true; break;
            case TagEffect::kEndScript: state.inScript = false; break;
            case TagEffect::kLineFeed: *out++ = '\n'; break;
            case TagEffect::kTab: *out++ = '\t'; break;
        }
        break;
    }
    const auto* close = static_cast<const unsigned char*>(
        std::memchr(at + 1, kTagClose, static_cast<std::size_t>(end - at - 1)));
    return close ? close + 1 : end;
}

// Eight bytes at a time: flags every byte that is a control byte, a blank or
// a "<" (the bytes that end a run of plain text). The lowest flag is exact.
inline std::uint64_t runStopMask(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const std::uint64_t belowBang = (word - kOnes * 0x21) & ~word & kHighs;
    const std::uint64_t opens = word ^ (kOnes * kTagOpen);
    const std::uint64_t isOpen = (opens - kOnes) & ~opens & kHighs;
    return belowBang | isOpen;
}

inline std::size_t firstFlaggedByte(std::uint64_t mask) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<std::size_t>(__builtin_clzll(mask)) / 8;
#elif defined(__GNUC__)
    return static_cast<std::size_t>(__builtin_ctzll(mask)) / 8;
#else
    std::size_t n = 0;
    while ((mask & 0xFF) == 0) {
        mask >>= 8;
        ++n;
    }
    return n;
#endif
}

inline bool isRunByte(unsigned char b) { return b > kBlank && b != kTagOpen; }

// Copies plain text bytes up to the next byte that needs a rule. The eight-byte
// stores may write past the run, but never past the part of the output that
// the input read so far could fill, because the output never runs ahead of it.
inline void copyRun(const unsigned char*& in, const unsigned char* end, unsigned char*& out) {
    while (end - in >= 8) {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        std::memcpy(out, &word, 8);
        const std::uint64_t stops = runStopMask(word);
        if (stops != 0) {
            const std::size_t n = firstFlaggedByte(stops);
            in += n;
            out += n;
            return;
        }
        in += 8;
        out += 8;
    }
    while (in < end && isRunByte(*in)) *out++ = *in++;
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
            if (b != kBlank) {
                *out++ = b;
                state.atStart = false;
            }
            ++in;
        } else if (b == kBlank) {
            // A text byte was written before, so in[-1] is inside the input;
            // in[1] is at worst the terminator.
            const bool afterWhitespace = isWrittenWhitespace(out[-1]);
            const bool betweenDigits = isDigit(in[-1]) && isDigit(in[1]);
            if (!afterWhitespace && !betweenDigits) *out++ = kBlank;
            ++in;
        } else {
            copyRun(in, end, out);
        }
    }
    *out = '\0';
    return decodeEntities(output, static_cast<std::size_t>(out - outBegin));
}

void filterMarkup(const char* input, char* output) {
    filterMarkup(input, std::strlen(input), output);
}
