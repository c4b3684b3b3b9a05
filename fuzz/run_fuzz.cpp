// Fuzz target: a whole run on the bytes of a file, as the program does it
// (the text-mode read with a small limit, the text up to its first NUL, the
// filter with the decoder, the text-mode write, a piece at a time), against
// the plain model of the run, the limit's warning included. The first bytes
// choose the limit, the size raw reads come in and the size of the pieces;
// the rest is the file. The buffer has no byte more than the pieces need.
#include <algorithm>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "piece_run.h"
#include "reference/plain_rules.h"
#include "text_mode.h"

namespace {

struct Source {
    const std::string& raw;
    std::size_t piece;  // most bytes one read hands out; 0: as many as asked
    std::size_t pos = 0;
};

std::ptrdiff_t readPiece(void* source, char* buffer, std::size_t capacity) {
    Source& s = *static_cast<Source*>(source);
    require(capacity > 0, "a read of no bytes");
    std::size_t n = std::min(capacity, s.raw.size() - s.pos);
    if (s.piece != 0) n = std::min(n, s.piece);
    std::memcpy(buffer, s.raw.data() + s.pos, n);
    s.pos += n;
    return static_cast<std::ptrdiff_t>(n);
}

bool appendAll(void* sink, const char* data, std::size_t size) {
    require(size > 0, "a write of no bytes");
    static_cast<std::string*>(sink)->append(data, size);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t limit = 1 + data[0] % 128;
    const std::size_t chunk = data[1] % 8;
    const std::size_t piece = 2 + data[2] % 40;
    const std::string raw(reinterpret_cast<const char*>(data) + 3, size - 3);
    const plain::Run expected = plain::convert(raw, limit);

    // In pieces, as the program runs a file, in a buffer of exactly the size
    // the pieces need.
    std::unique_ptr<char[]> buffer(new char[pieceBufferSize(piece)]);
    Source source{raw, chunk};
    TextReader reader{readPiece, &source, limit};
    std::string file;
    require(convertInPieces(reader, appendAll, &file, buffer.get(), piece),
            "a write failed where none could");
    require(reader.finished, "the input was not read to its end");
    require(!reader.failed, "a read error where there was none");
    require(reader.truncated == expected.warned, "the warning differs from the plain model");
    require(file == expected.file, "the file differs from the plain model");

    // The whole input at once, as the in-memory call reads it: the first NUL
    // where it is.
    std::unique_ptr<char[]> whole(new char[limit + 1]);
    Source again{raw, chunk};
    const TextReadResult read = readTextMode(readPiece, &again, whole.get(), limit);
    const void* nul = std::memchr(whole.get(), '\0', read.size);
    require(
        read.textEnd == (nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - whole.get())
                             : read.size),
        "the read put the first NUL elsewhere");
    require(read.truncated == expected.warned, "the whole read's warning differs");
    return 0;
}
