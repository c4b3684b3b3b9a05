// Where plainwrit_convert gets the copy of a long text without a NUL of its
// own: std::malloc, which the tests replace to see the answer when there is
// no memory. Set it only while no conversion runs.
#ifndef PLAINWRIT_LIBRARY_ALLOCATE_H
#define PLAINWRIT_LIBRARY_ALLOCATE_H

#include <cstddef>

extern void* (*libraryAllocate)(std::size_t size);

#endif
