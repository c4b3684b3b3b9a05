// Text-mode file rules, carried out by the program itself so that the bytes
// of the output file are the same on every platform.
//   reading: CR LF becomes LF (pairs taken left to right), a lone CR stays,
//            the first Ctrl-Z (0x1A) ends the input, and at most `limit`
//            bytes are delivered, counted after translation;
//   writing: every LF is written as CR LF.
// Both work over caller-supplied raw read and write functions, so the rules
// can be tested without files.
#ifndef PLAINWRIT_TEXT_MODE_H
#define PLAINWRIT_TEXT_MODE_H

#include <cstddef>

// The largest raw request. Raw bytes are asked for in pieces small enough to
// stay in the processor's cache until the pass over them has run: read
// whole, a large file's first bytes would have left the cache by then.
constexpr std::size_t kReadPiece = std::size_t{128} << 10;

// Reads up to `capacity` raw bytes into `buffer`. Returns the number read,
// 0 at the end of the input, or -1 on a read error.
using RawReadFn = std::ptrdiff_t (*)(void* source, char* buffer, std::size_t capacity);

// Writes all `size` bytes of `data`; returns false on failure.
using RawWriteFn = bool (*)(void* sink, const char* data, std::size_t size);

struct TextReadResult {
    std::size_t size;     // bytes delivered, buffer[size] is NUL
    std::size_t textEnd;  // bytes delivered before the first NUL among them
    bool truncated;       // the input would have delivered more than `limit`
    bool failed;          // a read error; nothing past it was delivered
};

// `buffer` must hold `limit` + 1 bytes. Raw bytes are read straight into it
// and translated in place.
TextReadResult readTextMode(RawReadFn read, void* source, char* buffer, std::size_t limit);

// Reading the same way a piece at a time, into a buffer that is used again
// for each piece. The reader carries what a piece leaves open: the count
// towards the limit, whether a NUL has been seen, and a CR whose next byte
// did not fit in the piece.
struct TextReader {
    RawReadFn read;
    void* source;
    std::size_t limit;
    std::size_t delivered = 0;  // bytes delivered by all pieces so far
    std::size_t textEnd = 0;    // of them, those before the first NUL, once one is seen
    bool nulSeen = false;
    bool pendingCr = false;  // a CR to deliver at the start of the next piece
    bool finished = false;   // nothing more will be delivered
    bool truncated = false;  // the input would have delivered more than `limit`
    bool failed = false;     // a read error; nothing past it was delivered
};

// Delivers the next piece into buffer[0, capacity), capacity at least 2, and
// returns its length; 0 only once the reader is finished. Nothing is
// terminated. One raw request per piece, as large as the room left.
std::size_t readTextPiece(TextReader& reader, char* buffer, std::size_t capacity);

// Writes `size` bytes of `text`, each LF as CR LF. `scratch` (at least 2
// bytes) holds translated chunks between writes; the bigger, the fewer writes.
bool writeTextMode(RawWriteFn write, void* sink, const char* text, std::size_t size, char* scratch,
                   std::size_t scratchSize);

#endif
