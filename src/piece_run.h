// A whole conversion in pieces: text-mode reading, filtering and decoding,
// and text-mode writing, one piece after another through one buffer that
// holds a piece at each stage. The program runs its files this way.
#ifndef PLAINWRIT_PIECE_RUN_H
#define PLAINWRIT_PIECE_RUN_H

#include <cstddef>

#include "markup_filter.h"
#include "text_mode.h"

// The buffer for pieces of `piece` bytes holds the input (the byte before
// it, what the last piece left, a new piece) with room for the text in
// front of it: the filter writes the text over the input it has taken.
// After them comes room for the CR LF form of the text, which goes out in
// one request.
constexpr std::size_t pieceTextLead() { return kPieceCarry + kFilterLead; }
constexpr std::size_t pieceInputRoom(std::size_t piece) {
    return pieceTextLead() + 1 + kPieceLookahead + piece;
}
constexpr std::size_t pieceScratchRoom(std::size_t piece) {
    return 2 * (kPieceCarry + kPieceLookahead + piece);
}
constexpr std::size_t pieceBufferSize(std::size_t piece) {
    return pieceInputRoom(piece) + pieceScratchRoom(piece);
}

// Converts what `reader` delivers, pieces of at most `piece` bytes (2 or
// more), into `buffer` of pieceBufferSize(piece) bytes, and returns false on
// a write error. Writing stops at a NUL, a read error or a write error; the
// input is read to its end all the same, and the reader, finished, tells of
// a read error and of the limit.
bool convertInPieces(TextReader& reader, RawWriteFn write, void* sink, char* buffer,
                     std::size_t piece);

#endif
