// The run-time choice of how ordinary text is taken: the block kernel built
// for each instruction set, and the one place that picks among them.
#ifndef PLAINWRIT_FILTER_PATHS_H
#define PLAINWRIT_FILTER_PATHS_H

#include "entities.h"
#include "markup_filter.h"
#include "tag_rules.h"

// Takes whole blocks from `in` until a script starts or fewer than
// block_kernel::kBlockReach bytes are left. `digitBefore` tells whether the
// input byte before `in` is a digit.
using BlockLoop = void (*)(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                           tag_rules::FilterState& state, bool digitBefore);

// The block loop of `path`, or nullptr where this build lacks it, the
// processor lacks what it needs, or `path` is the byte-by-byte one.
BlockLoop blockLoopFor(BlockPath path);

// The decoder's moves that go with `path`: the same instructions, so that
// every decoder is taken by the path that has its instructions.
DecodeMoves decodeMovesFor(BlockPath path);

// The fastest path this build and processor have, asked of the processor once
// per process; safe from many threads at once.
BlockPath fastestPath();

#endif
