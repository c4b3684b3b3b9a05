// Markup filter. The pass is a small state machine over the input:
//   inside a tag      -> jump to the next ">" (a word-wide look, then memchr);
//   inside a script   -> jump to the next "<";
//   before any text,
//   after whitespace  -> skip blanks and control bytes in a tight loop;
//   ordinary text     -> copy runs of plain bytes eight at a time; a blank
//                        inside a run is decided on the spot and the run
//                        goes on, so the common "word word" costs no exit.
// At a "<" only the prefixes whose second byte matches are compared.
// Every rule is still decided per byte at those stops, so the fast paths
// give the same result as looking at each byte in turn.
#include "markup_filter.h"

#include <array>
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

// Which prefixes a tag can match, by the byte after its "<": one bit per row
// of kTagEffects, then the two table prefixes. Most tags ("<b", "<a", "</a",
// "<div"...) get no bit at all and cost one table look.
constexpr std::size_t kRowCount = sizeof(kTagEffects) / sizeof(kTagEffects[0]);
constexpr unsigned kTableStartBit = 1u << kRowCount;
constexpr unsigned kTableEndBit = 1u << (kRowCount + 1);

constexpr void markSecondByte(std::array<unsigned, 256>& bits, const TagPrefix& prefix,
                              unsigned bit) {
    const auto second = static_cast<unsigned char>(prefix.text[1]);
    bits[second] |= bit;
    if (second >= 'a' && second <= 'z') bits[second - ('a' - 'A')] |= bit;
}

constexpr std::array<unsigned, 256> buildCandidates() {
    std::array<unsigned, 256> bits{};
    for (std::size_t i = 0; i < kRowCount; ++i) markSecondByte(bits, kTagEffects[i], 1u << i);
    markSecondByte(bits, kTableStart, kTableStartBit);
    markSecondByte(bits, kTableEnd, kTableEndBit);
    return bits;
}

constexpr std::array<unsigned, 256> kCandidates = buildCandidates();
static_assert(kCandidates[0] == 0, "a \"<\" at the very end matches nothing");

struct FilterState {
    bool inScript = false;
    bool inTable = false;
    bool atStart = true;
};

// The table state first, then the first effect row that matches, exactly as
// if every row were tried in order: rows left out cannot match.
inline void applyTagPrefixes(const unsigned char* at, const unsigned char* end, unsigned candidates,
                             unsigned char*& out, FilterState& state) {
    if ((candidates & kTableStartBit) != 0 && startsWith(at, end, kTableStart)) {
        state.inTable = true;
    } else if ((candidates & kTableEndBit) != 0 && startsWith(at, end, kTableEnd)) {
        state.inTable = false;
    }
    for (std::size_t i = 0; i < kRowCount; ++i) {
        const TagPrefix& row = kTagEffects[i];
        if (row.outsideTableOnly && state.inTable) break;
        if ((candidates & (1u << i)) == 0 || !startsWith(at, end, row)) continue;
        switch (row.effect) {
            case TagEffect::kStartScript: state.inScript = true; break;
            case TagEffect::kEndScript: state.inScript = false; break;
            case TagEffect::kLineFeed: *out++ = '\n'; break;
            case TagEffect::kTab: *out++ = '\t'; break;
        }
        break;
    }
}

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t loadWord(const unsigned char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    return word;
}

// Flags the bytes of `word` equal to `b`. The lowest flag is exact; the ones
// above it may not be, so only the lowest is ever used.
inline std::uint64_t equalMask(std::uint64_t word, unsigned char b) {
    const std::uint64_t x = word ^ (kOnes * b);
    return (x - kOnes) & ~x & kHighs;
}

// Flags every byte that is a control byte, a blank or a "<" (the bytes that
// end a run of plain text). The lowest flag is exact.
inline std::uint64_t runStopMask(std::uint64_t word) {
    const std::uint64_t belowBang = (word - kOnes * 0x21) & ~word & kHighs;
    return belowBang | equalMask(word, kTagOpen);
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

// The position after the ">" that closes the tag opened at `at`, or `end`.
// Most tags are short: one word-wide look finds their ">" without a call.
inline const unsigned char* skipTag(const unsigned char* at, const unsigned char* end) {
    const unsigned char* from = at + 1;
    if (end - from >= 8) {
        const std::uint64_t closes = equalMask(loadWord(from), kTagClose);
        if (closes != 0) return from + firstFlaggedByte(closes) + 1;
        from += 8;
    }
    const auto* close = static_cast<const unsigned char*>(
        std::memchr(from, kTagClose, static_cast<std::size_t>(end - from)));
    return close ? close + 1 : end;
}

// Handles the tag that starts at the "<" at `at` and returns the position
// after its ">". at[1] is at worst the terminator, which has no candidates.
inline const unsigned char* takeTag(const unsigned char* at, const unsigned char* end,
                                    unsigned char*& out, FilterState& state) {
    const unsigned candidates = kCandidates[at[1]];
    if (candidates != 0) applyTagPrefixes(at, end, candidates, out, state);
    return skipTag(at, end);
}

inline bool isRunByte(unsigned char b) { return b > kBlank && b != kTagOpen; }

// Copies plain text from `in`, which must be a plain byte, up to the next
// byte that needs the main loop. A blank whose input neighbour before it is a
// plain byte copied in this run (so the last byte written is not whitespace)
// is decided here: dropped between two digits, kept otherwise. The
// eight-byte stores may write past the run, but never past the part of the
// output that the input read so far could fill: the output never runs ahead.
inline void copyRun(const unsigned char*& in, const unsigned char* end, unsigned char*& out) {
    for (;;) {
        if (end - in < 8) {
            while (in < end && isRunByte(*in)) *out++ = *in++;
            return;
        }
        const std::uint64_t word = loadWord(in);
        std::memcpy(out, &word, 8);
        const std::uint64_t stops = runStopMask(word);
        if (stops == 0) {
            in += 8;
            out += 8;
            continue;
        }
        const std::size_t n = firstFlaggedByte(stops);
        in += n;
        out += n;
        // n == 0 only right after a blank decided here: then in[-1] is that
        // blank and the main loop takes over.
        const unsigned char before = in[-1];
        if (*in != kBlank || !isRunByte(before)) return;
        if (isDigit(before) && isDigit(in[1])) {
            ++in;  // in[1] is a digit, so the run goes on from a plain byte
            continue;
        }
        *out++ = kBlank;
        ++in;
        if (in == end || !isRunByte(*in)) return;
    }
}

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
            copyRun(in, end, out);
        }
    }
    *out = '\0';
    return decodeEntities(output, static_cast<std::size_t>(out - outBegin));
}

void filterMarkup(const char* input, char* output) {
    filterMarkup(input, std::strlen(input), output);
}
