// Markup filter: the byte-by-byte rules, and the loop that hands ordinary
// text outside scripts to the block kernel whenever enough of it is left
// (see block_kernel.h, and filter_paths.cpp for the run-time choice). Inside
// a script, and near the end, a small state machine takes the input byte by
// byte, with jumps to the next ">" inside a tag, to the next "<" inside a
// script, and runs of plain text copied eight bytes at a time. Every rule is
// still decided per byte: each path gives the same result as looking at each
// byte in turn.
#include "markup_filter.h"

#include <cstdint>
#include <cstring>

#include "block_kernel.h"
#include "byte_words.h"
#include "entities.h"
#include "filter_paths.h"
#include "tag_rules.h"

namespace {

using namespace tag_rules;

// The output runs behind the input by at least the lead, and no store
// reaches further past the output position than a block's packing does.
static_assert(kFilterLead > static_cast<std::size_t>(block_kernel::kBlockReach),
              "a store could reach the byte before the one being read");

// A piece keeps back what the decoder leaves undecoded.
static_assert(kPieceCarry >= kLongestReference, "the undecoded end of a piece must fit");

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
// runs ahead of the input. Past `stop` it hands back to the main loop, which
// stops there too.
inline void copyRun(const unsigned char*& in, const unsigned char* stop, const unsigned char* end,
                    unsigned char*& out) {
    for (;;) {
        if (end - in < 8) {
            while (in < end && isRunByte(*in)) *out++ = *in++;
            return;
        }
        if (in >= stop) return;
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
        // A blank after a digit: dropped when a digit follows; then whole
        // runs of "digit blank digit" go two bytes a step.
        ++in;
        if (in == end || !isDigit(*in)) {
            *out++ = kBlank;
            continue;
        }
        while (end - in > 2 && in[1] == kBlank && isDigit(in[2])) {
            *out++ = *in;
            in += 2;
        }
    }
}

// Blanks and control bytes that would all be dropped: before any text, or
// while the last byte written is whitespace.
inline const unsigned char* skipDropped(const unsigned char* in, const unsigned char* end) {
    while (in < end && *in <= kBlank) ++in;
    return in;
}

// Where a run of the main loop stands.
struct Steps {
    BlockLoop blocks;
    DecodeMoves moves;
    std::size_t decodeSpan;
    unsigned char* outBegin;
    unsigned char* out;
    FilterState state;
    DecodeCursor decoded;
    bool tagOpen;  // the last step ended inside a tag, at the end of the input given
};

// After a tag has been skipped to `in`: at `end` with no ">" there, the tag
// runs on past the input given.
inline bool tagRunsOn(const unsigned char* in, const unsigned char* end) {
    return in == end && end[-1] != kTagClose;
}

// The main loop, from `in` until it reaches `stop`, reading up to `end`
// (where `stop` is before `end`, every step that starts before `stop` has
// all the bytes it looks at). The byte before `in` is read only when `in`
// is not `noByteBefore`. Returns where the input goes on.
const unsigned char* filterSteps(Steps& run, const unsigned char* in, const unsigned char* stop,
                                 const unsigned char* end, const unsigned char* noByteBefore) {
    unsigned char* out = run.out;
    FilterState& state = run.state;
    while (in < stop) {
        if (run.blocks != nullptr && !state.inScript && end - in >= block_kernel::kBlockReach) {
            const auto left = static_cast<std::size_t>(end - in);
            state.pauseAt = in + (left > run.decodeSpan ? run.decodeSpan : left);
            run.blocks(in, end, out, state, in != noByteBefore && isDigit(in[-1]));
            run.tagOpen = tagRunsOn(in, end);
            // The decoder writes only behind the output position, and the
            // filter reads no output byte but the last one written.
            decodeEntitiesReady(reinterpret_cast<char*>(run.outBegin),
                                static_cast<std::size_t>(out - run.outBegin), run.decoded,
                                run.moves);
            continue;
        }
        const unsigned char b = *in;
        if (b == kTagOpen) {
            in = takeTag(in, end, out, state);
            run.tagOpen = tagRunsOn(in, end);
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
            // A text byte was written before, so in[-1] is a byte of the input.
            if (isWrittenWhitespace(out[-1])) {
                in = skipDropped(in, end);
                continue;
            }
            if (!(isDigit(in[-1]) && end - in > 1 && isDigit(in[1]))) *out++ = kBlank;
            ++in;
        } else {
            copyRun(in, stop, end, out);
        }
    }
    run.out = out;
    return in;
}

Steps startSteps(BlockPath path, std::size_t decodeSpan, char* output) {
    auto* const outBegin = reinterpret_cast<unsigned char*>(output);
    return {blockLoopFor(path), decodeMovesFor(path), decodeSpan,     outBegin,
            outBegin,           FilterState{},        DecodeCursor{}, false};
}

std::size_t finishSteps(Steps& run) {
    *run.out = '\0';
    return decodeEntitiesFinish(reinterpret_cast<char*>(run.outBegin),
                                static_cast<std::size_t>(run.out - run.outBegin), run.decoded,
                                run.moves);
}

}  // namespace

std::size_t filterMarkup(const char* input, std::size_t length, char* output) {
    return filterMarkupUsing(fastestPath(), input, length, output);
}

std::size_t filterMarkupUsing(BlockPath path, const char* input, std::size_t length, char* output) {
    return filterMarkupInSpans(path, input, length, output, kDecodeSpan);
}

std::size_t filterMarkupInSpans(BlockPath path, const char* input, std::size_t length, char* output,
                                std::size_t decodeSpan) {
    Steps run = startSteps(path, decodeSpan, output);
    const auto* const begin = reinterpret_cast<const unsigned char*>(input);
    filterSteps(run, begin, begin + length, begin + length, begin);
    return finishSteps(run);
}

FilterPieceResult filterMarkupPiece(FilterPieces& pieces, const char* input, std::size_t length,
                                    bool last, char* output) {
    return filterMarkupPieceUsing(fastestPath(), kDecodeSpan, pieces, input, length, last, output);
}

FilterPieceResult filterMarkupPieceUsing(BlockPath path, std::size_t decodeSpan,
                                         FilterPieces& pieces, const char* input,
                                         std::size_t length, bool last, char* output) {
    // The undecoded text of the last piece goes first: the decoder takes it
    // up again from the start, and the filter reads its last byte.
    std::memcpy(output, pieces.kept, pieces.keptLength);
    Steps run = startSteps(path, decodeSpan, output);
    run.out += pieces.keptLength;
    run.state.inScript = pieces.inScript;
    run.state.inTable = pieces.inTable;
    run.state.atStart = pieces.atStart;

    const auto* const begin = reinterpret_cast<const unsigned char*>(input);
    const unsigned char* const end = begin + length;
    const unsigned char* in = begin;
    run.tagOpen = pieces.inTag;
    if (pieces.inTag && in < end) {
        in = afterClose(in, end);
        run.tagOpen = tagRunsOn(in, end);
    }
    const unsigned char* stop = end;
    if (!last) stop = length > kPieceLookahead ? end - kPieceLookahead : begin;
    in = filterSteps(run, in, stop, end, pieces.byteBefore ? nullptr : begin);

    pieces.inScript = run.state.inScript;
    pieces.inTable = run.state.inTable;
    pieces.atStart = run.state.atStart;
    pieces.inTag = run.tagOpen;  // only ever set by a step that reached the end
    pieces.byteBefore = pieces.byteBefore || in != begin;
    const auto taken = static_cast<std::size_t>(in - begin);
    const auto written = static_cast<std::size_t>(run.out - run.outBegin);
    if (last) {
        pieces.keptLength = 0;
        return {taken, finishSteps(run)};
    }
    // The decoder leaves at most a reference's length undecoded. It is kept
    // apart, as the caller may read the next piece over the output.
    decodeEntitiesReady(output, written, run.decoded, run.moves);
    pieces.keptLength = written - run.decoded.read;
    std::memcpy(pieces.kept, output + run.decoded.read, pieces.keptLength);
    return {taken, run.decoded.write};
}

void filterMarkup(const char* input, char* output) {
    filterMarkup(input, std::strlen(input), output);
}
