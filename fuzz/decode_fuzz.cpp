// Fuzz target: the entity decoder alone on any bytes, in both forms, each on
// an allocation of exactly the text plus its terminator, against the plain
// model.
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
    return 0;
}
