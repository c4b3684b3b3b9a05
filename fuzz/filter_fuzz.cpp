// Fuzz target: the markup filter (and with it the entity decoder) on any
// bytes. The input sits at the very end of an allocation of exactly its
// length plus the terminator, so a read past the terminator is caught; the
// output buffer has exactly the room the interface promises. The result must
// be terminated, no longer than the input, free of control bytes other than
// line feed and tab, and equal to the plain model, whichever way the filter
// takes the input, wherever it stops to decode, with input and output in
// one buffer, and in pieces of any size.
#include <memory>

#include "fuzz_check.h"
#include "markup_filter.h"
#include "piece_feed.h"
#include "reference/plain_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = textOf(data, size);
    const std::size_t n = text.size();
    std::unique_ptr<char[]> in(new char[n + 1]);
    std::memcpy(in.get(), text.data(), n);
    in[n] = '\0';
    std::unique_ptr<char[]> out(new char[n + 1]);
    std::memset(out.get(), 'U', n + 1);

    const std::size_t length = filterMarkup(in.get(), n, out.get());
    require(length <= n, "output longer than input");
    require(out[length] == '\0', "output not terminated at the returned length");
    require(std::strlen(out.get()) == length, "NUL inside the output");
    for (std::size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(out[i]);
        require(b >= 0x20 || b == '\n' || b == '\t', "control byte in the output");
    }
    require(std::string(out.get(), length) == plain::filter(text), "differs from the plain model");
    require(std::memcmp(in.get(), text.data(), n) == 0, "input was changed");

    // The form without a length must give the same text, and so must every
    // other way of taking the input that this processor has.
    std::unique_ptr<char[]> again(new char[n + 1]);
    filterMarkup(in.get(), again.get());
    require(std::strcmp(again.get(), out.get()) == 0, "the two forms differ");
    for (const BlockPath path :
         {BlockPath::kScalar, BlockPath::kPortable, BlockPath::kSse2, BlockPath::kSsse3,
          BlockPath::kAvx2, BlockPath::kAvx512, BlockPath::kAvx512Compress}) {
        if (!blockPathAvailable(path)) continue;
        std::memset(again.get(), 'U', n + 1);
        const std::size_t pathLength = filterMarkupUsing(path, in.get(), n, again.get());
        require(pathLength == length && std::memcmp(again.get(), out.get(), length + 1) == 0,
                "the block paths differ");
        // With the stops to decode anywhere: the span comes from the input.
        const std::size_t span = 1 + (n == 0 ? 0 : static_cast<unsigned char>(text[0]) % 97);
        std::memset(again.get(), 'U', n + 1);
        const std::size_t spanLength = filterMarkupInSpans(path, in.get(), n, again.get(), span);
        require(spanLength == length && std::memcmp(again.get(), out.get(), length + 1) == 0,
                "short decode spans differ");
        // In one buffer, as the program runs it: the input kFilterLead bytes
        // in, the output at the start, and not a byte more.
        std::unique_ptr<char[]> shared(new char[kFilterLead + n + 1]);
        std::memset(shared.get(), 'U', kFilterLead);
        std::memcpy(shared.get() + kFilterLead, in.get(), n + 1);
        const std::size_t sharedLength =
            filterMarkupUsing(path, shared.get() + kFilterLead, n, shared.get());
        require(sharedLength == length && std::memcmp(shared.get(), out.get(), length + 1) == 0,
                "in one buffer the result differs");
        // In pieces, as the program takes a file: their sizes come from the
        // input too, some shorter than the lookahead.
        const auto size = [&](std::size_t at) -> std::size_t {
            return n > at ? static_cast<unsigned char>(text[at]) % 131 : 64;
        };
        const PieceFeed fed =
            feedInPieces(path, text, {1 + size(1), size(2), 1 + size(3)}, n % 2 == 1, span);
        require(fed.fault == nullptr, "a piece broke a promise");
        require(fed.text == std::string(out.get(), length), "in pieces the result differs");
    }
    return 0;
}
