#include "text_runs.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "byte_blocks.h"
#include "byte_compact.h"
#include "byte_words.h"

namespace {

constexpr unsigned char kCarriageReturn = '\r';
constexpr unsigned char kLineFeed = '\n';
constexpr unsigned char kEndOfText = 0x1A;

// Byte by byte from raw offset `i` and delivered offset `o`: the reference,
// and the end of the other forms.
TextRun deliverByBytes(unsigned char* to, const unsigned char* from, std::size_t i, std::size_t o,
                       std::size_t size, std::size_t room, bool withNul) {
    while (i < size && o < room) {
        const unsigned char c = from[i];
        if (c == kEndOfText || (c == 0 && withNul)) break;
        if (c == kCarriageReturn) {
            if (i + 1 == size) break;
            if (from[i + 1] == kLineFeed) {
                ++i;  // the LF is delivered next
                continue;
            }
        }
        to[o++] = c;
        ++i;
    }
    return {i, o};
}

// Byte by byte from text offset `i` and output offset `o`.
TextRun expandByBytes(unsigned char* out, const unsigned char* text, std::size_t i, std::size_t o,
                      std::size_t size, std::size_t room) {
    for (; i < size; ++i) {
        if (text[i] == kLineFeed) {
            if (room - o < 2) break;
            out[o++] = kCarriageReturn;
        } else if (o == room) {
            break;
        }
        out[o++] = text[i];
    }
    return {i, o};
}

// A lane's bytes are compared and copied where they lie: no vector value
// passes between functions, so the kernel below stays plain C++ and each
// form's instructions are those of the function it is inlined into.
struct WordLanes {
    using Mask = std::uint64_t;  // the high bit of each flagged byte
    static constexpr std::size_t kWidth = 8;
    static constexpr bool kDropsPairs = false;  // see WidestLanes
    static Mask equal(const unsigned char* at, unsigned char b) {
        return byte_words::equal(byte_words::load(at), b);
    }
    static void copy(unsigned char* to, const unsigned char* from) {
        byte_words::store(to, byte_words::load(from));
    }
    static std::size_t first(Mask m) { return byte_words::firstFlagged(m); }
    static std::size_t firstOrWidth(Mask m) { return m == 0 ? kWidth : first(m); }
};

#if defined(PLAINWRIT_BLOCKS_SSE2)
struct VectorLanes {
    using Mask = unsigned;  // bit i for the byte at offset i
    static constexpr std::size_t kWidth = 16;
    static constexpr bool kDropsPairs = false;
    PLAINWRIT_TARGET_SSE2 static Mask equal(const unsigned char* at, unsigned char b) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return static_cast<Mask>(
            byte_blocks::bits16(byte_blocks::equal16(v, static_cast<char>(b)), 0));
    }
    PLAINWRIT_TARGET_SSE2 static void copy(unsigned char* to, const unsigned char* from) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
    }
    static std::size_t first(Mask m) { return byte_blocks::lowest(m); }
    static std::size_t firstOrWidth(Mask m) { return byte_blocks::lowest(m | (1U << kWidth)); }
};
#endif

#if defined(PLAINWRIT_BLOCKS_AVX2)
struct WideLanes {
    using Mask = std::uint64_t;  // bit i for the byte at offset i, in the low half
    static constexpr std::size_t kWidth = 32;
    static constexpr bool kDropsPairs = false;
    PLAINWRIT_TARGET_AVX2 static Mask equal(const unsigned char* at, unsigned char b) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        return byte_blocks::bits32(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(b))), 0);
    }
    PLAINWRIT_TARGET_AVX2 static void copy(unsigned char* to, const unsigned char* from) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
    }
    static std::size_t first(Mask m) { return byte_blocks::lowest(m); }
    static std::size_t firstOrWidth(Mask m) {
        return byte_blocks::lowest(m | (std::uint64_t{1} << kWidth));
    }
};
#endif

#if defined(PLAINWRIT_BLOCKS_AVX512)
// For reading only, with the compress instruction (VBMI2): a lane with any
// number of CRs and no other stop is stored without those of CR LF pairs in
// one step. For writing, 64-byte lanes measured slower than 32-byte ones
// (a script of short lines: 5.0 against 13.1 GB/s): their stores at any
// offset cross two cache lines, and a lane often holds several line feeds,
// each of which takes a step of its own.
struct WidestLanes {
    using Mask = std::uint64_t;  // bit i for the byte at offset i
    static constexpr std::size_t kWidth = 64;
    static constexpr bool kDropsPairs = true;
    PLAINWRIT_TARGET_COMPRESS static Mask equal(const unsigned char* at, unsigned char b) {
        return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(at),
                                      _mm512_set1_epi8(static_cast<char>(b)));
    }
    PLAINWRIT_TARGET_COMPRESS static void copy(unsigned char* to, const unsigned char* from) {
        _mm512_storeu_si512(to, _mm512_loadu_si512(from));
    }
    // The lane at `at` without the bytes of `dropped`, stored whole at `to`:
    // the compress into a register, then one store, as in the filter.
    // Returns the bytes kept.
    PLAINWRIT_TARGET_COMPRESS static std::size_t storeWithout(unsigned char* to,
                                                              const unsigned char* at,
                                                              Mask dropped) {
        _mm512_storeu_si512(to, _mm512_maskz_compress_epi8(~dropped, _mm512_loadu_si512(at)));
        return kWidth - static_cast<std::size_t>(__builtin_popcountll(dropped));
    }
    static std::size_t first(Mask m) { return byte_blocks::lowest(m); }
    static std::size_t firstOrWidth(Mask m) { return m == 0 ? kWidth : byte_blocks::lowest(m); }
};
#endif

// A lane's first `n` bytes to `to`, `gap` bytes below where they lie. A
// whole lane is copied only when it cannot reach raw bytes not yet taken;
// in place nothing moves.
template <typename Lanes>
inline void moveFirst(unsigned char* to, const unsigned char* from, std::size_t n,
                      std::size_t gap) {
    if (gap >= Lanes::kWidth) {
        Lanes::copy(to, from);
    } else if (gap != 0) {
        for (std::size_t j = 0; j < n; ++j) to[j] = from[j];
    }
}

template <typename Lanes>
inline typename Lanes::Mask anyStop(const unsigned char* at, unsigned char other) {
    return Lanes::equal(at, kCarriageReturn) | Lanes::equal(at, kEndOfText) |
           Lanes::equal(at, other);
}

// A lane at a time while a whole lane and the byte after it are raw bytes
// and a whole lane fits the room.
//
// Once the delivered bytes trail the raw ones by a lane or more, a lane
// with at most one CR LF pair and no other stop goes without a branch on
// where the pair is: the lane is stored, then the bytes after its CR are
// stored over it from the CR on (with no pair, past the lane, where the
// next lane's store lands). Text with CR LF line ends has a pair in about
// every other lane at random, which a branch would mispredict.
//
// Otherwise: a lane without a stop moves whole, and at a CR the bytes
// before it move, the CR stays unless a LF follows, and the next lane
// starts after it.
template <typename Lanes>
inline __attribute__((always_inline)) TextRun deliverByLanes(unsigned char* to,
                                                             const unsigned char* from,
                                                             std::size_t size, std::size_t room,
                                                             bool withNul) {
    constexpr std::size_t kWidth = Lanes::kWidth;
    // NUL, or Ctrl-Z again when NUL is no longer a stop: the same compares.
    const unsigned char other = withNul ? 0 : kEndOfText;
    const auto firstGap = static_cast<std::size_t>(from - to);
    std::size_t i = 0;
    if (firstGap == 0) {
        // In place nothing moves before the first stop: four lanes a step.
        const std::size_t most = size < room ? size : room;
        while (most - i >= 4 * kWidth) {
            const unsigned char* const at = from + i;
            if ((anyStop<Lanes>(at, other) | anyStop<Lanes>(at + kWidth, other) |
                 anyStop<Lanes>(at + 2 * kWidth, other) | anyStop<Lanes>(at + 3 * kWidth, other)) !=
                0) {
                break;
            }
            i += 4 * kWidth;
        }
    }
    std::size_t o = i;
    while (size - i > kWidth && room - o >= kWidth) {
        const unsigned char* const at = from + i;
        const typename Lanes::Mask returns = Lanes::equal(at, kEndOfText) | Lanes::equal(at, other);
        const typename Lanes::Mask crs = Lanes::equal(at, kCarriageReturn);
        const std::size_t gap = firstGap + i - o;  // raw bytes ahead of delivered ones
        if constexpr (Lanes::kDropsPairs) {
            // Lone CRs stay, and the byte after the lane is read, so only
            // Ctrl-Z and NUL are left to the steps below. The store ends
            // where the lane does, or below it: it reaches no raw byte not
            // yet taken, whatever the gap.
            const typename Lanes::Mask pairs = crs & Lanes::equal(at + 1, kLineFeed);
            if (returns == 0) {
                o += Lanes::storeWithout(to + o, at, pairs);
                i += kWidth;
                continue;
            }
        } else if (gap >= kWidth && size - i > 2 * kWidth) {
            const typename Lanes::Mask pairs = crs & Lanes::equal(at + 1, kLineFeed);
            if ((returns | (pairs & (pairs - 1)) | (crs & ~pairs)) == 0) {
                const std::size_t cr = Lanes::firstOrWidth(pairs);
                Lanes::copy(to + o, at);
                Lanes::copy(to + o + cr, at + cr + 1);
                i += kWidth;
                o += kWidth - (pairs != 0 ? 1 : 0);
                continue;
            }
        }
        const typename Lanes::Mask stops = returns | crs;
        // Where pairs are dropped above, a lane that comes here has a
        // Ctrl-Z or NUL.
        if constexpr (!Lanes::kDropsPairs) {
            if (stops == 0) {
                // Stored whole even when the gap is small: the raw bytes not
                // yet taken start after this lane.
                if (gap != 0) Lanes::copy(to + o, at);
                i += kWidth;
                o += kWidth;
                continue;
            }
        }
        const std::size_t k = Lanes::first(stops);
        if (from[i + k] != kCarriageReturn) {  // Ctrl-Z or NUL: the reader decides
            moveFirst<Lanes>(to + o, at, k, gap);
            return {i + k, o + k};
        }
        // The byte after the CR is a raw byte: size - i > kWidth.
        const std::size_t kept = from[i + k + 1] == kLineFeed ? k : k + 1;
        moveFirst<Lanes>(to + o, at, kept, gap);
        i += k + 1;
        o += kept;
    }
    return deliverByBytes(to, from, i, o, size, room, withNul);
}

// A lane at a time while two lanes of text are left and the room holds
// two lanes and a byte. The lane is stored, a CR put at its first LF's
// place, and the lane from the LF on stored after it (with no LF, past the
// lane, where the next lane's store lands): no branch on where the LF is.
// A lane with more LFs is done to its first one, and the next lane starts
// after it.
template <typename Lanes>
inline __attribute__((always_inline)) TextRun expandByLanes(unsigned char* out,
                                                            const unsigned char* text,
                                                            std::size_t size, std::size_t room) {
    constexpr std::size_t kWidth = Lanes::kWidth;
    std::size_t i = 0;
    std::size_t o = 0;
    while (size - i >= 2 * kWidth && room - o > 2 * kWidth) {
        const unsigned char* const at = text + i;
        const typename Lanes::Mask lineFeeds = Lanes::equal(at, kLineFeed);
        const std::size_t lf = Lanes::firstOrWidth(lineFeeds);
        Lanes::copy(out + o, at);
        out[o + lf] = kCarriageReturn;
        Lanes::copy(out + o + lf + 1, at + lf);
        if ((lineFeeds & (lineFeeds - 1)) != 0) {
            i += lf + 1;
            o += lf + 2;
            continue;
        }
        i += kWidth;
        o += kWidth + (lineFeeds != 0 ? 1 : 0);
    }
    return expandByBytes(out, text, i, o, size, room);
}

}  // namespace

TextRun deliverTextRunBytes(char* to, const char* from, std::size_t size, std::size_t room,
                            ReadStops stops) {
    return deliverByBytes(reinterpret_cast<unsigned char*>(to),
                          reinterpret_cast<const unsigned char*>(from), 0, 0, size, room,
                          stops == ReadStops::kWithNul);
}

TextRun expandTextRunBytes(char* out, const char* text, std::size_t size, std::size_t room) {
    return expandByBytes(reinterpret_cast<unsigned char*>(out),
                         reinterpret_cast<const unsigned char*>(text), 0, 0, size, room);
}

namespace {

// One pass of either kind: an entry per form of lanes, which the choice
// below hands on.
struct TextRunCall {
    bool expand;  // the writing side; otherwise the reading side
    char* to;
    const char* from;
    std::size_t size;
    std::size_t room;
    ReadStops stops;  // for the reading side
};

// `ReadLanes` take the reading side, `WriteLanes` the writing side.
template <typename WriteLanes, typename ReadLanes = WriteLanes>
inline __attribute__((always_inline)) TextRun runAs(const TextRunCall& call) {
    auto* const to = reinterpret_cast<unsigned char*>(call.to);
    const auto* const from = reinterpret_cast<const unsigned char*>(call.from);
    return call.expand ? expandByLanes<WriteLanes>(to, from, call.size, call.room)
                       : deliverByLanes<ReadLanes>(to, from, call.size, call.room,
                                                   call.stops == ReadStops::kWithNul);
}

// Each form compiled, inlined whole, for its own instructions.
TextRun runByWords(const TextRunCall& call) { return runAs<WordLanes>(call); }
#if defined(PLAINWRIT_BLOCKS_SSE2)
PLAINWRIT_TARGET_SSE2 __attribute__((flatten)) TextRun runByVectors(const TextRunCall& call) {
    return runAs<VectorLanes>(call);
}
#endif
#if defined(PLAINWRIT_BLOCKS_AVX2)
PLAINWRIT_TARGET_AVX2 __attribute__((flatten)) TextRun runByWide(const TextRunCall& call) {
    return runAs<WideLanes>(call);
}
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512)
PLAINWRIT_TARGET_COMPRESS __attribute__((flatten)) TextRun runByWidest(const TextRunCall& call) {
    return runAs<WideLanes, WidestLanes>(call);
}
#endif

using RunForm = TextRun (*)(const TextRunCall&);

// The form of `lanes`, or none where this build or processor lacks it.
// GCOVR_EXCL_BR_START: the other outcomes need a processor without these instructions
RunForm formOf(TextLanes lanes) {
    switch (lanes) {
        case TextLanes::kWords: return runByWords;
#if defined(PLAINWRIT_BLOCKS_SSE2)
        case TextLanes::kVectors: return byte_blocks::haveVectors() ? runByVectors : nullptr;
#endif
#if defined(PLAINWRIT_BLOCKS_AVX2)
        case TextLanes::kWide: return byte_blocks::haveWide() ? runByWide : nullptr;
#endif
#if defined(PLAINWRIT_BLOCKS_AVX512)
        case TextLanes::kWidest: return byte_compact::haveCompress() ? runByWidest : nullptr;
#endif
        default: return nullptr;  // GCOVR_EXCL_LINE: for builds without some of the forms
    }
}

// The widest lanes this build and processor have.
TextLanes fastestLanes() {
    constexpr TextLanes kWidestFirst[] = {TextLanes::kWidest, TextLanes::kWide,
                                          TextLanes::kVectors};
    const auto* found = std::find_if(std::begin(kWidestFirst), std::end(kWidestFirst),
                                     [](TextLanes lanes) { return formOf(lanes) != nullptr; });
    return found != std::end(kWidestFirst) ? *found : TextLanes::kWords;
}
// GCOVR_EXCL_BR_STOP

}  // namespace

bool textLanesAvailable(TextLanes lanes) { return formOf(lanes) != nullptr; }

TextRun deliverTextRunBy(TextLanes lanes, char* to, const char* from, std::size_t size,
                         std::size_t room, ReadStops stops) {
    return formOf(lanes)({false, to, from, size, room, stops});
}

TextRun expandTextRunBy(TextLanes lanes, char* out, const char* text, std::size_t size,
                        std::size_t room) {
    return formOf(lanes)({true, out, text, size, room, ReadStops::kWithNul});
}

TextRun deliverTextRun(char* to, const char* from, std::size_t size, std::size_t room,
                       ReadStops stops) {
    return deliverTextRunBy(fastestLanes(), to, from, size, room, stops);
}

TextRun expandTextRun(char* out, const char* text, std::size_t size, std::size_t room) {
    return expandTextRunBy(fastestLanes(), out, text, size, room);
}
