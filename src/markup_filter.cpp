// Markup filter. Outside scripts, and while 80 bytes or more are left, the
// input is taken in 64-byte blocks:
//   - one classification gives a bit mask per byte class (control, "<", ">",
//     blank, digit, and the letters that tags with an effect begin with);
//   - tags are found by a running parity of "<" and ">" where the two take
//     turns, tag by tag where they do not;
//   - only the tags whose first bytes fit an effect prefix are looked at;
//   - the blank rules become mask arithmetic, and the kept bytes are packed
//     into the output in one step; a tag's line feed or tab then replaces
//     its "<" there.
// The block loop exists once per instruction set (portable words, SSSE3,
// AVX2, AVX-512) and the fastest one the processor has is chosen at run
// time. Inside a script, and near the end, a small state machine takes the
// input byte by byte, with jumps to the next ">" inside a tag, to the next
// "<" inside a script, and runs of plain text copied eight bytes at a time.
// Every rule is still decided per byte: each path gives the same result as
// looking at each byte in turn.
#include "markup_filter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "byte_blocks.h"
#include "byte_compact.h"
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

constexpr std::array<unsigned char, kRowCount> shortRowAppends() {
    std::array<unsigned char, kRowCount> appends{};
    for (std::size_t i = 0; i < kRowCount; ++i) {
        const TagEffect effect = kTagEffects[i].effect;
        appends[i] = effect == TagEffect::kLineFeed ? '\n' : effect == TagEffect::kTab ? '\t' : 0;
    }
    return appends;
}
constexpr std::array<unsigned char, kRowCount> kShortRowAppends = shortRowAppends();

constexpr bool shortRowsOnlyAppend() {
    for (std::size_t i = 0; i < kRowCount; ++i) {
        if (kTagEffects[i].length <= 3 && kShortRowAppends[i] == 0) return false;
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
    unsigned rows = candidates & (state.inTable ? kInTableRows : rowsBefore(kRowCount));
    for (; rows != 0; rows &= rows - 1) {
        const TagPrefix& row = kTagEffects[lowestBit(rows)];
        if (!startsWith(head, row)) continue;
        switch (row.effect) {
            case TagEffect::kStartScript: state.inScript = true; return 0;
            case TagEffect::kEndScript: state.inScript = false; return 0;
            case TagEffect::kLineFeed: return '\n';
            case TagEffect::kTab: return '\t';
        }
    }
    return 0;
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

// The table state and the effect of the tag that starts at the "<" at `at`;
// returns the byte the tag appends, or 0. at[1] is at worst the terminator,
// which has no candidates.
inline unsigned char applyTagEffects(const unsigned char* at, const unsigned char* end,
                                     FilterState& state) {
    unsigned candidates = kBySecondByte[at[1]];
    if (candidates == 0) return 0;
    candidates &= kByThirdByte[at[2]];  // at[1] is not the terminator: at[2] can be read
    if ((candidates & kComparedRows) != 0) return applyTagPrefixes(at, end, candidates, state);
    // Only prefixes of up to three bytes are left, and the tables have
    // already matched all their bytes.
    const unsigned rows = candidates & (state.inTable ? kInTableRows : rowsBefore(kRowCount));
    return rows == 0 ? 0 : kShortRowAppends[lowestBit(rows)];
}

// Handles the tag that starts at the "<" at `at` and returns the position
// after its ">".
inline const unsigned char* takeTag(const unsigned char* at, const unsigned char* end,
                                    unsigned char*& out, FilterState& state) {
    const unsigned char appended = applyTagEffects(at, end, state);
    if (appended != 0) *out++ = appended;
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

// Input a block may look at, and output it may write: the block, the byte
// after it, the word-wide prefix comparison of a "<" near its end, and the
// stores of the packing that may reach past what it keeps.
constexpr std::ptrdiff_t kBlockReach = byte_compact::kRoom;

#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

// Bits that are set in `mask` at or above a bit of `seeds` with no clear bit
// of `mask` in between: each run of `mask` from its lowest seed up.
// `seeds` lies within `mask`.
inline std::uint64_t fillUp(std::uint64_t mask, std::uint64_t seeds) {
    // The gaps before the first seed of each run are what adding a carry at
    // the run's start clears.
    const std::uint64_t unseeded = mask & ~seeds;
    const std::uint64_t runStarts = mask & ~(mask << 1);
    return mask & ~(unseeded & ~(unseeded + (runStarts & unseeded)));
}

// The position after the next ">" at or after `from`, or `end`.
inline const unsigned char* afterClose(const unsigned char* from, const unsigned char* end) {
    const auto* close = static_cast<const unsigned char*>(
        std::memchr(from, kTagClose, static_cast<std::size_t>(end - from)));
    return close ? close + 1 : end;
}

// Each bit set when an odd number of bits of `bits` are at or below it.
inline std::uint64_t prefixXor(std::uint64_t bits) {
    bits ^= bits << 1;
    bits ^= bits << 2;
    bits ^= bits << 4;
    bits ^= bits << 8;
    bits ^= bits << 16;
    bits ^= bits << 32;
    return bits;
}

struct TagSpans {
    std::uint64_t tagged;  // bytes of tags
    std::uint64_t starts;  // the "<" that open them
    bool openAtEnd;        // the last one runs past the block
};

// Where the tags of a block are, given whether one runs into it. Each "<"
// outside a tag opens one, up to the next ">". Where "<" and ">" simply
// take turns, as they do in most markup, a running parity of them gives the
// answer with no branch per tag.
inline TagSpans findTags(const byte_blocks::BlockMasks& m, bool inTag) {
    const std::uint64_t marks = m.open | m.close;
    const std::uint64_t inside = prefixXor(marks) ^ (0 - std::uint64_t{inTag});
    const std::uint64_t before = inside ^ marks;  // inside, as it was before each byte
    if ((m.open & before) == 0 && (m.close & ~before) == 0) {
        return {inside | m.close, m.open, (inside >> 63) != 0};
    }
    // A "<" inside a tag or a ">" outside one: tag by tag.
    TagSpans spans{0, 0, false};
    std::uint64_t opens = m.open;
    if (inTag) {
        if (m.close == 0) return {~std::uint64_t{0}, 0, true};
        const std::uint64_t close = m.close & (0 - m.close);
        spans.tagged = (close << 1) - 1;
        opens &= 0 - (close << 1);
    }
    while (opens != 0) {
        const std::uint64_t open = opens & (0 - opens);
        spans.starts |= open;
        const std::uint64_t closes = m.close & (0 - (open << 1));
        if (closes == 0) {
            spans.tagged |= 0 - open;
            spans.openAtEnd = true;
            break;
        }
        const std::uint64_t close = closes & (0 - closes);
        spans.tagged |= (close << 1) - open;
        opens &= 0 - (close << 1);
    }
    return spans;
}

// The tags that may have an effect, by the bytes after their "<": "p";
// "s", "t", "b" or "h" then "a", "c", "d", "i" or "r"; "/" then "s" or "t"
// then one of those. A few others pass too and are then told apart by the
// prefix tables. A "<" too near the end of the block to tell is always
// looked at.
inline std::uint64_t effectCandidates(const byte_blocks::BlockMasks& m, std::uint64_t starts) {
    constexpr std::uint64_t kNearEnd = std::uint64_t{7} << 61;
    const std::uint64_t named = ((m.letterST | m.letterBH) >> 1) & (m.letterACDIR >> 2);
    const std::uint64_t closing = (m.slash >> 1) & (m.letterST >> 2) & (m.letterACDIR >> 3);
    return starts & (named | closing | (m.letterP >> 1) | kNearEnd);
}

// What one block hands on to the next.
struct BlockCarry {
    bool inTag;               // a tag runs into the block
    std::uint64_t latch;      // 1 when a blank at the block's start would be dropped
    std::uint64_t digitLast;  // 1 when the input byte before the block is a digit
};

// `classify` gives the masks and `compact` packs the kept bytes. Returns
// where the input goes on: after the block, after the ">" of a long tag
// that covers it, or after a script start tag with state.inScript set, for
// the caller to take over.
using Classify = byte_blocks::BlockMasks (*)(const unsigned char*);
using Compact = unsigned char* (*)(const unsigned char*, std::uint64_t, unsigned char*);
using CountBits = std::size_t (*)(std::uint64_t);

template <Classify classify, Compact compact, CountBits countBits>
inline const unsigned char* filterBlock(const unsigned char* base, const unsigned char* end,
                                        unsigned char*& out, BlockCarry& carry,
                                        FilterState& state) {
    constexpr std::size_t kBlock = byte_blocks::kBlock;
    const byte_blocks::BlockMasks m = classify(base);
    const TagSpans spans = findTags(m, carry.inTag);
    if ((spans.starts == 0) & (spans.tagged == ~std::uint64_t{0}) & spans.openAtEnd) {
        // Wholly inside a long tag or comment: on to its end.
        carry.inTag = false;
        carry.digitLast = 0;
        return afterClose(base + kBlock, end);
    }
    carry.inTag = spans.openAtEnd;

    std::uint64_t lineFeeds = 0;  // "<" whose tag appends a line feed in their place
    std::uint64_t tabs = 0;       // and a tab
    std::uint64_t taken = ~std::uint64_t{0};
    for (std::uint64_t tags = effectCandidates(m, spans.starts); tags != 0; tags &= tags - 1) {
        const std::size_t at = byte_blocks::lowest(tags);
        const unsigned char effect = applyTagEffects(base + at, end, state);
        const std::uint64_t tag = tags & (0 - tags);
        lineFeeds |= effect == '\n' ? tag : 0;
        tabs |= effect == '\t' ? tag : 0;
        if (state.inScript) {
            // The rest of the block is the caller's, from the end of this tag.
            const std::uint64_t closes = m.close & byte_blocks::bitsFrom(at + 1);
            if (closes != 0) {
                taken = ((closes & (0 - closes)) << 1) - 1;
                carry.inTag = false;
            }
            break;
        }
    }
    const std::uint64_t appended = lineFeeds | tabs;

    const std::uint64_t text = ~(spans.tagged | m.control) & taken;
    const std::uint64_t kept = text | appended;  // before the blank rules
    const std::uint64_t whitespace = (m.blank & text) | appended;
    const std::uint64_t holds = ~kept | whitespace;  // bytes that leave the latch as it is
    const std::uint64_t latched = fillUp(holds, whitespace | (holds & carry.latch));
    const std::uint64_t afterWhitespace = (latched << 1) | carry.latch;
    const std::uint64_t digitBefore = (m.digit << 1) | carry.digitLast;
    const std::uint64_t digitAfter = (m.digit >> 1) | std::uint64_t{isDigit(base[kBlock])} << 63;
    const std::uint64_t dropped = m.blank & (afterWhitespace | (digitBefore & digitAfter));
    const std::uint64_t keep = kept & ~dropped;
    if ((keep & ~appended) != 0) state.atStart = false;
    unsigned char* const written = out;
    out = compact(base, keep, out);
    // The kept "<" of tags that append a byte become that byte. Patching the
    // output, not the block, keeps the packing's loads clear of fresh stores.
    for (std::uint64_t bits = lineFeeds; bits != 0; bits &= bits - 1) {
        written[countBits(keep & ((bits & (0 - bits)) - 1))] = '\n';
    }
    for (std::uint64_t bits = tabs; bits != 0; bits &= bits - 1) {
        written[countBits(keep & ((bits & (0 - bits)) - 1))] = '\t';
    }
    carry.latch = latched >> 63;
    carry.digitLast = m.digit >> 63;
    return taken == ~std::uint64_t{0} ? base + kBlock : base + byte_blocks::lowest(~taken);
}

// A block at a time, until a script starts or the end is near. `digitBefore`
// tells whether the input byte before `in` is a digit. Nothing but tag bytes
// is written while atStart holds, so out[-1] is only read after a text byte.
template <Classify classify, Compact compact, CountBits countBits>
inline void filterBlocksWith(const unsigned char*& in, const unsigned char* end,
                             unsigned char*& out, FilterState& state, bool digitBefore) {
    BlockCarry carry{false, state.atStart || isWrittenWhitespace(out[-1]) ? 1U : 0U,
                     digitBefore ? 1U : 0U};
    while (end - in >= kBlockReach && !state.inScript) {
        in = filterBlock<classify, compact, countBits>(in, end, out, carry, state);
    }
    if (carry.inTag) in = afterClose(in, end);
}

// One instance for each set of processor features.
using BlockLoop = void (*)(const unsigned char*&, const unsigned char*, unsigned char*&,
                           FilterState&, bool);

void blocksPortable(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                    FilterState& state, bool digitBefore) {
    filterBlocksWith<byte_blocks::classify, byte_compact::compactWords, byte_blocks::countBits>(
        in, end, out, state, digitBefore);
}

#if defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_SHUFFLE __attribute__((flatten)) void blocksSsse3(const unsigned char*& in,
                                                                   const unsigned char* end,
                                                                   unsigned char*& out,
                                                                   FilterState& state,
                                                                   bool digitBefore) {
    filterBlocksWith<byte_blocks::classify, byte_compact::compactShuffle, byte_blocks::countBits>(
        in, end, out, state, digitBefore);
}
#endif

#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_AVX2 __attribute__((flatten)) void blocksAvx2(const unsigned char*& in,
                                                               const unsigned char* end,
                                                               unsigned char*& out,
                                                               FilterState& state,
                                                               bool digitBefore) {
    filterBlocksWith<byte_blocks::classifyWide, byte_compact::compactShuffle,
                     byte_blocks::countBitsPopcnt>(in, end, out, state, digitBefore);
}

PLAINWRIT_TARGET_AVX512 __attribute__((flatten)) void blocksAvx512(const unsigned char*& in,
                                                                   const unsigned char* end,
                                                                   unsigned char*& out,
                                                                   FilterState& state,
                                                                   bool digitBefore) {
    filterBlocksWith<byte_blocks::classifyWidest, byte_compact::compactShuffle,
                     byte_blocks::countBitsPopcnt>(in, end, out, state, digitBefore);
}
#endif

#endif

// The block loop of `path`, or none where it does not exist or the
// processor lacks what it needs.
BlockLoop blockLoopFor(BlockPath path) {
    switch (path) {
        case BlockPath::kScalar: return nullptr;
#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)
        case BlockPath::kPortable: return blocksPortable;
#endif
#if defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case BlockPath::kSsse3: return byte_compact::haveShuffle() ? blocksSsse3 : nullptr;
#endif
#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case BlockPath::kAvx2: return byte_blocks::haveWide() ? blocksAvx2 : nullptr;
        case BlockPath::kAvx512: return byte_blocks::haveWidest() ? blocksAvx512 : nullptr;
#endif
        default: return nullptr;
    }
}

// Without a byte shuffle, packing a block costs more than it saves: the
// portable block loop measures slower than taking the bytes one by one (0.74
// against 0.84 GB/s on the benchmark's page), so it is not the default.
BlockPath fastestPath() {
    constexpr BlockPath kFastestFirst[] = {BlockPath::kAvx512, BlockPath::kAvx2, BlockPath::kSsse3};
    const auto* found = std::find_if(std::begin(kFastestFirst), std::end(kFastestFirst),
                                     [](BlockPath path) { return blockLoopFor(path) != nullptr; });
    return found != std::end(kFastestFirst) ? *found : BlockPath::kScalar;
}

// Blanks and control bytes that would all be dropped: before any text, or
// while the last byte written is whitespace.
inline const unsigned char* skipDropped(const unsigned char* in, const unsigned char* end) {
    while (in < end && *in <= kBlank) ++in;
    return in;
}

}  // namespace

bool blockPathAvailable(BlockPath path) {
    return path == BlockPath::kScalar || blockLoopFor(path) != nullptr;
}

std::size_t filterMarkup(const char* input, std::size_t length, char* output) {
    return filterMarkupUsing(fastestPath(), input, length, output);
}

std::size_t filterMarkupUsing(BlockPath path, const char* input, std::size_t length, char* output) {
    const BlockLoop blocks = blockLoopFor(path);
    const auto* const begin = reinterpret_cast<const unsigned char*>(input);
    const unsigned char* in = begin;
    const unsigned char* const end = in + length;
    auto* const outBegin = reinterpret_cast<unsigned char*>(output);
    unsigned char* out = outBegin;
    FilterState state;

    while (in < end) {
        if (blocks != nullptr && !state.inScript && end - in >= kBlockReach) {
            blocks(in, end, out, state, in != begin && isDigit(in[-1]));
            continue;
        }
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
