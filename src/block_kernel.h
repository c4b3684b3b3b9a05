// The block kernel: 64 bytes of ordinary text at a time, as bit masks.
//   - one classification gives a bit mask per byte class (control, "<", ">",
//     blank, digit, and the letters that tags with an effect begin with; on
//     the AVX2 and AVX-512 paths, for blocks with a tag, what the bytes
//     after each offset name instead of the letters);
//   - tags are found by a running parity of "<" and ">" where the two take
//     turns, tag by tag where they do not;
//   - the short effect tags are decided by masks where the classification
//     is cheap; otherwise, and for the tags that change a state, only the
//     tags whose first bytes fit an effect prefix are looked at;
//   - the blank rules become mask arithmetic, and the kept bytes are packed
//     into the output in one step, a tag's line feed or tab in place of its
//     "<".
// Written once, as templates over the classification and the packing;
// filter_paths.cpp builds one instance per instruction set.
#ifndef PLAINWRIT_BLOCK_KERNEL_H
#define PLAINWRIT_BLOCK_KERNEL_H

#include <cstddef>
#include <cstdint>

#include "byte_blocks.h"
#include "byte_compact.h"
#include "tag_rules.h"

namespace block_kernel {

using tag_rules::afterClose;
using tag_rules::applyTagEffectsWithin;
using tag_rules::FilterState;
using tag_rules::isWrittenWhitespace;

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

// The names (byte_blocks::TagNames) and filterBlock restate the rows of the
// tag table: the short rows, what they append and where, and that every
// longer prefix is one the names hand on to be looked at. This keeps the two
// in step. Only the short effect tags ("<tr", "<td", "<br", "<hr", "<p")
// remain for the masks, and a block with a tag to look at goes whole to the
// tag-by-tag way: the table state holds for every block the masks decide.
constexpr bool isOneOf(char c, const char* set) {
    for (; *set != '\0'; ++set) {
        if (*set == c) return true;
    }
    return false;
}

constexpr bool isLookedAt(const char* prefix) {
    const char* name = prefix[1] == '/' ? prefix + 2 : prefix + 1;
    return (name[0] == 's' && isOneOf(name[1], "acdir")) ||
           (name[0] == 't' && isOneOf(name[1], "aci"));
}

constexpr bool masksMatchTheTagTable() {
    using tag_rules::TagEffect;
    struct ShortRow {
        const char* text;
        TagEffect effect;
        bool outsideTableOnly;
    };
    constexpr ShortRow kByMasks[] = {{"<tr", TagEffect::kLineFeed, false},
                                     {"<td", TagEffect::kTab, false},
                                     {"<br", TagEffect::kLineFeed, true},
                                     {"<hr", TagEffect::kLineFeed, true},
                                     {"<p", TagEffect::kLineFeed, true}};
    std::size_t shortRows = 0;
    for (const tag_rules::TagPrefix& row : tag_rules::kTagEffects) {
        if (row.length > 3) {
            if (!isLookedAt(row.text)) return false;
            continue;
        }
        ++shortRows;
        bool found = false;
        for (const ShortRow& mask : kByMasks) {
            found = found || (row.word == tag_rules::packWord(mask.text, row.length) &&
                              mask.text[row.length] == '\0' && row.effect == mask.effect &&
                              row.outsideTableOnly == mask.outsideTableOnly);
        }
        if (!found) return false;
    }
    return shortRows == sizeof(kByMasks) / sizeof(kByMasks[0]) &&
           isLookedAt(tag_rules::kTableStart.text) && isLookedAt(tag_rules::kTableEnd.text);
}
static_assert(masksMatchTheTagTable(), "the short-tag masks no longer match the tag table");

// The last three bytes of a block, where the masks do not reach a tag's
// name: a tag that starts there is left to the next block, which then
// starts at its "<".
constexpr std::uint64_t kLateStarts = std::uint64_t{7} << 61;

// What one block hands on to the next.
struct BlockCarry {
    bool inTag;               // a tag runs into the block
    std::uint64_t latch;      // 1 when a blank at the block's start would be dropped
    std::uint64_t digitLast;  // 1 when the input byte before the block is a digit
    // Not zero once a block has kept a byte of text, not only a tag's line
    // feed or tab: text has started. Gathered here rather than put in the
    // state block by block.
    std::uint64_t textKept;
};

// What the tags of a block do to it.
struct TagEffects {
    std::uint64_t lineFeeds;  // "<" whose tag appends a line feed in their place
    std::uint64_t tabs;       // and a tab
    std::uint64_t taken;      // the bytes of the block that are the block's, not the caller's
};

// The tags that may have an effect, one by one, in order. Where a script
// starts, `taken` ends after its start tag, which then runs into no block.
inline TagEffects lookAtEachTag(const unsigned char* base, const unsigned char* end,
                                const byte_blocks::BlockMasks& m, std::uint64_t starts,
                                FilterState& state) {
    TagEffects effects{0, 0, ~std::uint64_t{0}};
    for (std::uint64_t tags = effectCandidates(m, starts); tags != 0; tags &= tags - 1) {
        const std::size_t at = byte_blocks::lowest(tags);
        const unsigned char effect = applyTagEffectsWithin(base + at, end, state);
        const std::uint64_t tag = tags & (0 - tags);
        effects.lineFeeds |= effect == '\n' ? tag : 0;
        effects.tabs |= effect == '\t' ? tag : 0;
        if (state.inScript) {
            // The rest of the block is the caller's, from the end of this tag.
            const std::uint64_t closes = m.close & byte_blocks::bitsFrom(at + 1);
            if (closes != 0) effects.taken = ((closes & (0 - closes)) << 1) - 1;
            break;
        }
    }
    return effects;
}

// `classify` gives the masks and `pack` packs the kept bytes. Returns
// where the input goes on: after the block, after the ">" of a long tag
// that covers it, or after a script start tag with state.inScript set, for
// the caller to take over.
using Classify = byte_blocks::BlockMasks (*)(const unsigned char*);
using Compact = unsigned char* (*)(const unsigned char*, std::uint64_t, unsigned char*);
using CountBits = std::size_t (*)(std::uint64_t);
// Packs the kept bytes of a block, with a line feed in place of each "<" of
// `lineFeeds` and a tab in place of each of `tabs`.
using Pack = unsigned char* (*)(const unsigned char* block, std::uint64_t keep,
                                std::uint64_t lineFeeds, std::uint64_t tabs, unsigned char* out);

// Packs with `compact`, then patches the output. Patching the output, not
// the block, keeps the packing's loads clear of fresh stores.
template <Compact compact, CountBits countBits>
inline unsigned char* packThenPatch(const unsigned char* block, std::uint64_t keep,
                                    std::uint64_t lineFeeds, std::uint64_t tabs,
                                    unsigned char* out) {
    unsigned char* const end = compact(block, keep, out);
    for (std::uint64_t bits = lineFeeds; bits != 0; bits &= bits - 1) {
        out[countBits(keep & ((bits & (0 - bits)) - 1))] = '\n';
    }
    for (std::uint64_t bits = tabs; bits != 0; bits &= bits - 1) {
        out[countBits(keep & ((bits & (0 - bits)) - 1))] = '\t';
    }
    return end;
}

// What the bytes after each offset of a block name.
using NameTags = byte_blocks::TagNames (*)(const unsigned char*);

// `tagsByMasks` decides the short effect tags by masks; `classify` then
// gives only the marks, and `nameTags` the names for blocks that hold a tag.
// Where the classification costs more than the tag loop it saves (the
// 16-byte and the word-wide ways), `classify` gives the letters too and the
// tags are looked at one by one.
//
// Where tags are decided by masks, a block with a tag they cannot decide
// (one that may change the script or table state, or append a byte after a
// longer prefix) is left as it is, and the result is `base`: any block
// taken moves the input on.
template <Classify classify, Pack pack, bool tagsByMasks, NameTags nameTags = nullptr>
inline const unsigned char* filterBlock(const unsigned char* base, const unsigned char* end,
                                        unsigned char*& out, BlockCarry& carry,
                                        FilterState& state) {
    constexpr std::size_t kBlock = byte_blocks::kBlock;
    byte_blocks::BlockMasks m = classify(base);
    const TagSpans spans = findTags(m, carry.inTag);
    if ((spans.starts == 0) & (spans.tagged == ~std::uint64_t{0}) & spans.openAtEnd) {
        // Wholly inside a long tag or comment: on to its end.
        carry.inTag = false;
        carry.digitLast = 0;
        return afterClose(base + kBlock, end);
    }
    bool inTagAfter = spans.openAtEnd;

    std::uint64_t lineFeeds = 0;  // "<" whose tag appends a line feed in their place
    std::uint64_t tabs = 0;       // and a tab
    std::uint64_t taken = ~std::uint64_t{0};
    if constexpr (!tagsByMasks) {
        const TagEffects effects = lookAtEachTag(base, end, m, spans.starts, state);
        lineFeeds = effects.lineFeeds;
        tabs = effects.tabs;
        taken = effects.taken;
        inTagAfter = inTagAfter && taken == ~std::uint64_t{0};
    } else if (spans.starts != 0) {
        const byte_blocks::TagNames names = nameTags(base);
        // The block up to a tag in its last bytes (all of it when there is
        // none); the tag then runs into no block.
        const std::uint64_t late = spans.starts & kLateStarts;
        taken = (late & (0 - late)) - 1;
        const std::uint64_t starts = spans.starts & taken;
        // A tag the masks cannot decide: the block is the caller's, untouched.
        if ((starts & names.lookAt) != 0) return base;
        inTagAfter = inTagAfter && late == 0;
        const std::uint64_t outsideTable = state.inTable ? 0 : ~std::uint64_t{0};
        lineFeeds = starts & (names.tr | (names.brHrP & outsideTable));
        tabs = starts & names.td;
    }
    carry.inTag = inTagAfter;
    const std::uint64_t appended = lineFeeds | tabs;

    const std::uint64_t text = ~(spans.tagged | m.control) & taken;
    const std::uint64_t kept = text | appended;  // before the blank rules
    const std::uint64_t whitespace = (m.blank & text) | appended;
    const std::uint64_t holds = ~kept | whitespace;  // bytes that leave the latch as it is
    const std::uint64_t latched = fillUp(holds, whitespace | (holds & carry.latch));
    const std::uint64_t afterWhitespace = (latched << 1) | carry.latch;
    const std::uint64_t digitBefore = (m.digit << 1) | carry.digitLast;
    const std::uint64_t dropped = m.blank & (afterWhitespace | (digitBefore & m.digitAfter));
    const std::uint64_t keep = kept & ~dropped;
    // The kept "<" of tags that append a byte become that byte.
    out = pack(base, keep, lineFeeds, tabs, out);
    carry.textKept |= keep & ~appended;
    carry.latch = latched >> 63;
    // After a block cut short the next one starts at a "<", where this is not
    // asked.
    carry.digitLast = m.digit >> 63;
    if constexpr (tagsByMasks) {
        // `taken` is a run of bits from the lowest, so its count is how far
        // the input goes on: no branch on whether the block was cut short,
        // which a tag in the last bytes of a block makes at random. These
        // paths all have the popcount instruction.
        return base + __builtin_popcountll(taken);
    }
    return taken == ~std::uint64_t{0} ? base + kBlock : base + byte_blocks::lowest(~taken);
}

// Where a block loop stands, passed by value to the rare block out of line,
// so that the loop keeps all of it in registers.
struct BlockStep {
    const unsigned char* at;
    unsigned char* out;
    BlockCarry carry;
    FilterState state;
};

// A block whose tags the masks cannot all decide: each tag that may have an
// effect looked at one by one, out of line, with the portable
// classification and packing. Few blocks need it: those with a script, a
// table or a title tag, or a longer name that begins like one.
__attribute__((noinline, flatten)) inline BlockStep filterBlockTagByTag(BlockStep step,
                                                                        const unsigned char* end) {
    step.at = filterBlock<byte_blocks::classify,
                          packThenPatch<byte_compact::compactRuns, byte_blocks::countBits>, false>(
        step.at, end, step.out, step.carry, step.state);
    return step;
}

// A block at a time, until a script starts, the input reaches
// state.pauseAt, or the end is near; there is a block's reach of input at
// `in` to start with. `digitBefore`
// tells whether the input byte before `in` is a digit. Nothing but tag bytes
// is written while atStart holds, so out[-1] is only read after a text byte.
template <Classify classify, Pack pack, bool tagsByMasks, NameTags nameTags = nullptr>
inline void filterBlocksWith(const unsigned char*& in, const unsigned char* end,
                             unsigned char*& out, FilterState& state, bool digitBefore) {
    BlockCarry carry{false, state.atStart || isWrittenWhitespace(out[-1]) ? 1U : 0U,
                     digitBefore ? 1U : 0U, 0};
    // Copies in locals, which the packing's stores cannot reach: the state
    // and the positions then stay in registers from block to block.
    FilterState local = state;
    const unsigned char* at = in;
    unsigned char* to = out;
    // Where the blocks stop: at the pause, or where a block's reach would
    // pass the end. One comparison a block.
    const unsigned char* const afterLastStart = end - kBlockReach + 1;
    const unsigned char* const stop =
        local.pauseAt < afterLastStart ? local.pauseAt : afterLastStart;
    while (at < stop && !local.inScript) {
        const unsigned char* const next =
            filterBlock<classify, pack, tagsByMasks, nameTags>(at, end, to, carry, local);
        if constexpr (tagsByMasks) {
            if (next == at) {
                const BlockStep step = filterBlockTagByTag({at, to, carry, local}, end);
                at = step.at;
                to = step.out;
                carry = step.carry;
                local = step.state;
                continue;
            }
        }
        at = next;
    }
    in = carry.inTag ? afterClose(at, end) : at;
    if (carry.textKept != 0) local.atStart = false;
    out = to;
    state = local;
}

#endif

}  // namespace block_kernel

#endif
