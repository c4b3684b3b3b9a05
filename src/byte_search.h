// Passing plain runs of text just read in one pass: the search stops only at
// the bytes text-mode reading must look at, a CR, a Ctrl-Z and, until the
// first has been found, a NUL. Sixteen bytes at a time where the processor
// has vectors, eight elsewhere.
#ifndef PLAINWRIT_BYTE_SEARCH_H
#define PLAINWRIT_BYTE_SEARCH_H

#include <cstddef>

enum class ReadStops { kWithNul, kWithoutNul };

// The offset of the first stop in at[0, size), or `size` when there is none.
std::size_t findReadStop(const char* at, std::size_t size, ReadStops stops);

// The same a byte at a time (the reference) and a word at a time (the form
// for processors without vectors), for the tests.
std::size_t findReadStopBytes(const char* at, std::size_t size, ReadStops stops);
std::size_t findReadStopWords(const char* at, std::size_t size, ReadStops stops);

#endif
