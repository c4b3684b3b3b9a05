// The conversion a piece at a time. Each piece is read, filtered and written
// before the next, so its bytes stay in the processor's cache from the read
// to the write, and the memory a run needs does not grow with the input.
#include "piece_run.h"

#include <cstring>

namespace {

// Whatever ended the text, a NUL or a failed write, the input is still read
// to its end: a read error anywhere in it is reported, and so is the limit.
void readToTheEnd(TextReader& reader, char* buffer, std::size_t piece) {
    while (!reader.finished) readTextPiece(reader, buffer, piece);
}

}  // namespace

bool convertInPieces(TextReader& reader, RawWriteFn write, void* sink, char* buffer,
                     std::size_t piece) {
    char* const text = buffer;
    char* const input = buffer + pieceTextLead() + 1;
    char* const scratch = buffer + pieceInputRoom(piece);
    FilterPieces pieces;
    std::size_t rest = 0;  // input[0, rest) is what the last piece left
    for (;;) {
        const std::size_t before = reader.delivered;
        const std::size_t got = readTextPiece(reader, input + rest, piece);
        if (reader.failed) return true;  // nothing more to read
        // A NUL byte ends the text.
        const bool nul = reader.nulSeen;
        const std::size_t length = rest + (nul ? reader.textEnd - before : got);
        const bool last = reader.finished || nul;
        const FilterPieceResult done = filterMarkupPiece(pieces, input, length, last, text);
        if (!writeTextMode(write, sink, text, done.ready, scratch, pieceScratchRoom(piece))) {
            readToTheEnd(reader, buffer, piece);
            return false;
        }
        if (last) {
            readToTheEnd(reader, buffer, piece);
            return true;
        }
        std::memmove(input - 1, input + done.taken - 1, length - done.taken + 1);
        rest = length - done.taken;
    }
}
