// One instance of the block kernel for each set of processor features, each
// compiled for its own instructions, and the run-time choice among them.
#include "filter_paths.h"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "block_kernel.h"

namespace {

using block_kernel::filterBlocksWith;
using tag_rules::FilterState;

#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)

__attribute__((flatten)) void blocksPortable(const unsigned char*& in, const unsigned char* end,
                                             unsigned char*& out, FilterState& state,
                                             bool digitBefore) {
    filterBlocksWith<
        byte_blocks::classify,
        block_kernel::packThenPatch<byte_compact::compactWords, byte_blocks::countBits>, false>(
        in, end, out, state, digitBefore);
}

#if defined(PLAINWRIT_BLOCKS_SSE2)
PLAINWRIT_TARGET_SSE2 __attribute__((flatten)) void blocksSse2(const unsigned char*& in,
                                                               const unsigned char* end,
                                                               unsigned char*& out,
                                                               FilterState& state,
                                                               bool digitBefore) {
    filterBlocksWith<byte_blocks::classifyVectors,
                     block_kernel::packThenPatch<byte_compact::compactRuns, byte_blocks::countBits>,
                     false>(in, end, out, state, digitBefore);
}
#endif

#if defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_SHUFFLE __attribute__((flatten)) void blocksSsse3(const unsigned char*& in,
                                                                   const unsigned char* end,
                                                                   unsigned char*& out,
                                                                   FilterState& state,
                                                                   bool digitBefore) {
    filterBlocksWith<
        byte_blocks::classifyVectors,
        block_kernel::packThenPatch<byte_compact::compactShuffle, byte_blocks::countBits>, false>(
        in, end, out, state, digitBefore);
}
#endif

#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_AVX2 __attribute__((flatten)) void blocksAvx2(const unsigned char*& in,
                                                               const unsigned char* end,
                                                               unsigned char*& out,
                                                               FilterState& state,
                                                               bool digitBefore) {
    filterBlocksWith<byte_blocks::classifyWideMarks, byte_compact::compactShufflePatched, true,
                     byte_blocks::nameTagsWide>(in, end, out, state, digitBefore);
}
#endif

#if defined(PLAINWRIT_BLOCKS_AVX512) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
PLAINWRIT_TARGET_AVX512 __attribute__((flatten)) void blocksAvx512(const unsigned char*& in,
                                                                   const unsigned char* end,
                                                                   unsigned char*& out,
                                                                   FilterState& state,
                                                                   bool digitBefore) {
    filterBlocksWith<
        byte_blocks::classifyWidestMarks,
        block_kernel::packThenPatch<byte_compact::compactShuffle, byte_blocks::countBitsPopcnt>,
        true, byte_blocks::nameTagsWidest>(in, end, out, state, digitBefore);
}

PLAINWRIT_TARGET_COMPRESS __attribute__((flatten)) void blocksAvx512Compress(
    const unsigned char*& in, const unsigned char* end, unsigned char*& out, FilterState& state,
    bool digitBefore) {
    filterBlocksWith<byte_blocks::classifyWidestMarks, byte_compact::compactCompressPatched, true,
                     byte_blocks::nameTagsWidest>(in, end, out, state, digitBefore);
}
#endif

#endif

}  // namespace

// The block loop of `path`, or none where it does not exist or the
// processor lacks what it needs.
// GCOVR_EXCL_BR_START: the other outcomes need a processor without these instructions
BlockLoop blockLoopFor(BlockPath path) {
    switch (path) {
        case BlockPath::kScalar: return nullptr;
#if defined(PLAINWRIT_HAVE_BYTE_BLOCKS)
        case BlockPath::kPortable: return blocksPortable;
#endif
#if defined(PLAINWRIT_BLOCKS_SSE2)
        case BlockPath::kSse2: return byte_blocks::haveVectors() ? blocksSse2 : nullptr;
#endif
#if defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case BlockPath::kSsse3: return byte_compact::haveShuffle() ? blocksSsse3 : nullptr;
#endif
#if defined(PLAINWRIT_BLOCKS_AVX2) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case BlockPath::kAvx2: return byte_blocks::haveWide() ? blocksAvx2 : nullptr;
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512) && defined(PLAINWRIT_SHUFFLE_COMPACTION)
        case BlockPath::kAvx512: return byte_blocks::haveWidest() ? blocksAvx512 : nullptr;
        case BlockPath::kAvx512Compress:
            return byte_compact::haveCompress() ? blocksAvx512Compress : nullptr;
#endif
        default: return nullptr;  // GCOVR_EXCL_LINE: for builds without some of the paths
    }
}

DecodeMoves decodeMovesFor(BlockPath path) {
    DecodeMoves moves = DecodeMoves::kLibrary;
    if (path == BlockPath::kAvx2) moves = DecodeMoves::kAvx2;
#if defined(PLAINWRIT_BLOCKS_AVX512)
    if (path == BlockPath::kAvx512 || path == BlockPath::kAvx512Compress) {
        // Without the compress instruction the AVX2 form serves.
        moves =
            decodeMovesAvailable(DecodeMoves::kAvx512) ? DecodeMoves::kAvx512 : DecodeMoves::kAvx2;
    }
#endif
    // A path the processor lacks runs byte by byte, and so does its decoder.
    return decodeMovesAvailable(moves) ? moves : DecodeMoves::kLibrary;
}

namespace {

// Packing a block byte by byte saves little: the portable block loop
// measures about as fast as taking the bytes one by one on an x86 machine
// (0.97 against 0.92 GB/s on the benchmark's page), where the vector paths
// beat both, and it has not been measured where it would be the choice, so
// it is not the default. Without a byte shuffle, SSE2 packs whole runs
// instead.
BlockPath findFastestPath() {
    constexpr BlockPath kFastestFirst[] = {BlockPath::kAvx512Compress, BlockPath::kAvx512,
                                           BlockPath::kAvx2, BlockPath::kSsse3, BlockPath::kSse2};
    const auto* found = std::find_if(std::begin(kFastestFirst), std::end(kFastestFirst),
                                     [](BlockPath path) { return blockLoopFor(path) != nullptr; });
    return found != std::end(kFastestFirst) ? *found : BlockPath::kScalar;
}

// Asked of the processor once per process. Every thread finds the same
// answer, so threads that race here store the same value; the atomic makes
// that race well defined, and needs no guard from the C++ runtime.
std::atomic<int> chosenPath{-1};

}  // namespace

bool blockPathAvailable(BlockPath path) {
    return path == BlockPath::kScalar || blockLoopFor(path) != nullptr;
}
// GCOVR_EXCL_BR_STOP

BlockPath fastestPath() {
    int path = chosenPath.load(std::memory_order_relaxed);
    if (path < 0) {
        path = static_cast<int>(findFastestPath());
        chosenPath.store(path, std::memory_order_relaxed);
    }
    return static_cast<BlockPath>(path);
}
