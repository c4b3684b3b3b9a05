// Fuzz target: the entity decoder alone on any bytes, in both forms and in
// steps with each of its moves, each on an allocation of exactly the text
// plus its terminator, against the plain model.
#include <memory>

#include "entities.h"
#include "fuzz_check.h"
#include "reference/plain_rules.h"

namespace {

std::unique_ptr<char[]> exactCopy(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = textOf(data, size);
    const std::string expected = plain::decode(text);

    std::unique_ptr<char[]> withLength = exactCopy(text);
    const std::size_t length = decodeEntities(withLength.get(), text.size());
    require(length <= text.size(), "the text grew");
    require(withLength[length] == '\0', "not terminated at the returned length");
    require(std::string(withLength.get(), length) == expected, "differs from the plain model");

    std::unique_ptr<char[]> terminated = exactCopy(text);
    decodeEntities(terminated.get());
    require(std::string(terminated.get()) == expected, "the form without a length differs");

    // In steps, as the filter decodes while it writes: the text appears a
    // stride at a time (the stride taken from the input), and what is not
    // written yet is ";", which completes a name if the decoder looks at it.
    const std::size_t stride = 1 + (text.empty() ? 0 : static_cast<unsigned char>(text[0]) % 23);
    for (const DecodeMoves moves :
         {DecodeMoves::kLibrary, DecodeMoves::kAvx2, DecodeMoves::kAvx512}) {
        if (!decodeMovesAvailable(moves)) continue;
        std::unique_ptr<char[]> stepped(new char[text.size() + 1]);
        std::memset(stepped.get(), ';', text.size() + 1);
        DecodeCursor cursor;
        std::size_t ready = 0;
        for (std::size_t next = stride; next < text.size(); next += stride) {
            std::memcpy(stepped.get() + ready, text.data() + ready, next - ready);
            ready = next;
            decodeEntitiesReady(stepped.get(), ready, cursor, moves);
            require(cursor.write <= cursor.read && cursor.read <= ready, "the cursor ran ahead");
        }
        std::memcpy(stepped.get() + ready, text.data() + ready, text.size() - ready);
        stepped[text.size()] = '\0';
        const std::size_t steppedLength =
            decodeEntitiesFinish(stepped.get(), text.size(), cursor, moves);
        require(std::string(stepped.get(), steppedLength) == expected, "decoding in steps differs");
        require(stepped[steppedLength] == '\0', "not terminated after the steps");
    }
    return 0;
}
