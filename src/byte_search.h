// Passing plain runs of text just read in one pass: the search stops only at
// the bytes text-mode reading must look at, a CR, a Ctrl-Z and, until the
// first has been found, a NUL. Once a CR LF pair has shrunk, each run also
// moves down to close the gap, in the same pass. Sixteen bytes at a time
// where the processor has vectors, eight elsewhere.
#ifndef PLAINWRIT_BYTE_SEARCH_H
#define PLAINWRIT_BYTE_SEARCH_H

#include <cstddef>

enum class ReadStops { kWithNul, kWithoutNul };

// The offset n of the first stop in from[0, size), or `size` when there is
// none; from[0, n) is then at to[0, n). `to` is `from` or below it, and the
// bytes from to + n up to `from` may be changed.
std::size_t moveToReadStop(char* to, const char* from, std::size_t size, ReadStops stops);

// The same a byte at a time (the reference) and a word at a time (the form
// for processors without vectors), for the tests.
std::size_t moveToReadStopBytes(char* to, const char* from, std::size_t size, ReadStops stops);
std::size_t moveToReadStopWords(char* to, const char* from, std::size_t size, ReadStops stops);

#endif
