// Feeds an input to the filter piece by piece, the way the program does with
// a file: new bytes in pieces of the given sizes, taken in turn, each after
// what the last piece left, in one buffer used again for each piece and of
// exactly the room promised, so that a sanitizer catches a byte read or
// written beyond it. Shared by the tests and the fuzzers.
#ifndef PLAINWRIT_PIECE_FEED_H
#define PLAINWRIT_PIECE_FEED_H

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "markup_filter.h"

struct PieceFeed {
    std::string text;             // the text of every piece, in order
    const char* fault = nullptr;  // what broke a promise of the interface
};

// With `emptyLast` the last call brings no new bytes.
inline PieceFeed feedInPieces(BlockPath path, const std::string& input,
                              const std::vector<std::size_t>& sizes, bool emptyLast = false,
                              std::size_t decodeSpan = kDecodeSpan) {
    const std::size_t largest = *std::max_element(sizes.begin(), sizes.end());
    const std::size_t mostLength = kPieceLookahead + largest;
    // The text is written over the input, as the program has it: the
    // output starts the room it needs in front of the byte before the input.
    const std::size_t lead = kPieceCarry + kFilterLead;
    const std::unique_ptr<char[]> buffer(new char[lead + 1 + mostLength]);
    char* const out = buffer.get();
    char* const in = out + lead + 1;
    FilterPieces pieces;
    PieceFeed fed;
    std::size_t rest = 0;
    std::size_t pos = 0;
    for (std::size_t i = 0;; ++i) {
        const std::size_t n = std::min(sizes[i % sizes.size()], input.size() - pos);
        std::memcpy(in + rest, input.data() + pos, n);
        pos += n;
        const bool last = pos == input.size() && (n == 0 || !emptyLast);
        const std::size_t length = rest + n;
        if (length > mostLength) {
            fed.fault = "more left over than a piece's lookahead";
            return fed;
        }
        const FilterPieceResult r =
            filterMarkupPieceUsing(path, decodeSpan, pieces, in, length, last, out);
        if (r.taken > length) fed.fault = "took more than it was given";
        fed.text.append(out, r.ready);
        if (last) {
            if (r.taken != length) fed.fault = "the last piece was not all taken";
            if (out[r.ready] != '\0') fed.fault = "the text is not terminated";
            return fed;
        }
        if (fed.fault != nullptr) return fed;
        // The rest goes to the front, after the byte before it.
        std::memmove(in - 1, in + r.taken - 1, length - r.taken + 1);
        rest = length - r.taken;
    }
}

#endif
