// Fuzz target: a whole run on the bytes of a file, as the program does it
// (the text-mode read with a small limit, the text up to its first NUL, the
// filter with the decoder, the text-mode write), against the plain model of
// the run, the limit's warning included. The first bytes choose the limit
// and the sizes the raw reads and writes come in; the rest is the file. One
// buffer serves the read, the filter and the write, as in the program, with
// no byte more than that layout needs.
#include <algorithm>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "markup_filter.h"
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
    if (size < 2) return 0;
    const std::size_t limit = 1 + data[0] % 128;  // the write needs a scratch of 2 or more
    const std::size_t piece = data[1] % 8;
    const std::string raw(reinterpret_cast<const char*>(data) + 2, size - 2);

    // One buffer, laid out as the program lays it out: the input kFilterLead
    // bytes in, the output from the start, the CR LF form after the output,
    // with a little room of varying size past the input.
    const std::size_t room = 1 + data[1] / 8 % 16;
    const std::size_t bufferSize = kFilterLead + limit + 1 + room;
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    char* const input = buffer.get() + kFilterLead;
    Source source{raw, piece};
    const TextReadResult read = readTextMode(readPiece, &source, input, limit);
    require(!read.failed, "a read error where there was none");
    const void* nul = std::memchr(input, '\0', read.size);
    const std::size_t textLength =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - input) : read.size;
    require(read.textEnd == textLength, "the read put the first NUL elsewhere");
    const std::size_t outputLength = filterMarkup(input, textLength, buffer.get());
    std::string file;
    require(writeTextMode(appendAll, &file, buffer.get(), outputLength,
                          buffer.get() + outputLength + 1, bufferSize - outputLength - 1),
            "a write failed where none could");

    const plain::Run expected = plain::convert(raw, limit);
    require(read.truncated == expected.warned, "the warning differs from the plain model");
    require(file == expected.file, "the file differs from the plain model");
    return 0;
}
