// Markup filter: one forward pass that turns HTML bytes into plain text.
// Tags are dropped, script contents are dropped, control bytes are dropped,
// runs of blanks shrink to one, a blank between two digits goes, and a few
// tags leave a line feed or a tab behind. The result is then run through the
// entity decoder in place.
#ifndef PLAINWRIT_MARKUP_FILTER_H
#define PLAINWRIT_MARKUP_FILTER_H

#include <cstddef>

// `input` is read up to its first NUL and never changed. `output` must have
// room for the input's length plus one byte; on return it holds the converted,
// terminated and entity-decoded text, never longer than the input.
void filterMarkup(const char* input, char* output);

// The same, for callers that already know the input's length (the position of
// its first NUL). Reads input[0] to input[length - 1] only: no terminator is
// needed. Returns the length of the text left in `output`.
std::size_t filterMarkup(const char* input, std::size_t length, char* output);

// One buffer may serve as both: the output may start this many bytes (or
// more) before the input in the same buffer. The filter then never stores
// over a byte it has yet to read, nor over the byte before the one it reads;
// the input is of course overwritten.
constexpr std::size_t kFilterLead = 128;

// The ways ordinary text can be taken: byte by byte, or in 64-byte blocks
// with the instructions named. All give the same result; filterMarkup uses
// the fastest one the processor has. Tests and benchmarks can pick one.
enum class BlockPath { kScalar, kPortable, kSse2, kSsse3, kAvx2, kAvx512, kAvx512Compress };

// Whether this build has `path` and the processor running it can take it.
bool blockPathAvailable(BlockPath path);

// filterMarkup with the given path, which must be available.
std::size_t filterMarkupUsing(BlockPath path, const char* input, std::size_t length, char* output);

// The block paths stop after about this much input to decode the references
// of what they wrote while it is still in the cache.
constexpr std::size_t kDecodeSpan = 16384;

// filterMarkupUsing with another span, so that tests and fuzzers can put the
// stops anywhere; `decodeSpan` must be at least 1.
std::size_t filterMarkupInSpans(BlockPath path, const char* input, std::size_t length, char* output,
                                std::size_t decodeSpan);

// Filtering an input that comes in pieces, with the same text as one call
// over all of it. Between pieces the filter keeps what it is inside of, and
// the caller keeps the few input bytes it has not taken.

// Until the last piece, the filter stops this far before a piece's end: no
// rule looks further ahead than this to decide a byte.
constexpr std::size_t kPieceLookahead = 16;

// Text a piece may keep back, undecoded, for the next: the end of a
// reference may still come.
constexpr std::size_t kPieceCarry = 16;

struct FilterPieces {
    bool inScript = false;
    bool inTable = false;
    bool atStart = true;      // no text byte has been written yet
    bool inTag = false;       // a tag runs on past the input taken so far
    bool byteBefore = false;  // input was taken before: input[-1] holds its last byte
    std::size_t keptLength = 0;
    char kept[kPieceCarry] = {};
};

struct FilterPieceResult {
    std::size_t taken;  // input bytes filtered; all of them in the last piece
    std::size_t ready;  // output[0, ready) is final, decoded text
};

// Filters input[0, length): the input bytes the last piece did not take
// followed by new ones, with input[-1] the byte before them once any were
// taken. The next piece starts at input[taken], again with the byte before
// it. `output` has room for kPieceCarry + length + kFilterLead bytes, and
// may be the input's own buffer: it may end where input[-1] is, since the
// text never catches up with the input. After the last piece output[ready]
// is a terminator.
FilterPieceResult filterMarkupPiece(FilterPieces& pieces, const char* input, std::size_t length,
                                    bool last, char* output);

// The same with a given path and decoding span, for tests and fuzzers.
FilterPieceResult filterMarkupPieceUsing(BlockPath path, std::size_t decodeSpan,
                                         FilterPieces& pieces, const char* input,
                                         std::size_t length, bool last, char* output);

#endif
