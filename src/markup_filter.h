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

#endif
