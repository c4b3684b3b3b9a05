// A whole conversion in pieces: text-mode reading, filtering and decoding,
// and text-mode writing, one piece after another through one buffer that
// holds a piece at each stage. The program runs its files this way.
#ifndef PLAINWRIT_PIECE_RUN_H
#define PLAINWRIT_PIECE_RUN_H

#include <cstddef>

#include "markup_filter.h"
#include "text_mode.h"

// The buffer for pieces of `piece` bytes holds, in turn: the input (the byte
// before it, what the last piece left, a new piece); the text the filter
// makes of it, after what the last piece kept back; and the CR LF form of
// that text, which goes out in one request.
constexpr std::size_t pieceInputRoom(std::size_t piece) { return 1 + kPieceLookahead + piece; }
constexpr std::size_t pieceLongestText(std::size_t piece) {
    return kPieceCarry + kPieceLookahead + piece;
}
constexpr std::size_t pieceBufferSize(std::size_t piece) {
    return pieceInputRoom(piece) + pieceLongestText(piece) + kFilterLead +
           2 * pieceLongestText(piece);
}

// Converts what `reader` delivers, pieces of at most `piece` bytes (2 or
// more), into `buffer` of pieceBufferSize(piece) bytes. Stops at the first
// read or write error, and returns false on a write error; the reader tells
// of a read error and of the limit. The reader may be left unfinished: after
// a NUL, or a write error.
bool convertInPieces(TextReader& reader, RawWriteFn write, void* sink, char* buffer,
                     std::size_t piece);

#endif
