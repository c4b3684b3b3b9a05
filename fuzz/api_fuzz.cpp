// Fuzz target: the public in-memory calls on any bytes, each buffer exactly
// as large as the interface asks and the input not terminated, so a read or
// write outside them is caught. plainwrit_convert must equal the plain model
// of the filter, plainwrit_convert_stored the plain model of read, filter and
// write; a room one byte short must be refused with nothing written.
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "plainwrit.h"
#include "reference/plain_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* html = reinterpret_cast<const char*>(data);
    const std::string bytes(html, size);

    std::unique_ptr<char[]> text(new char[size + 1]);
    const std::size_t length = plainwrit_convert(html, size, text.get());
    require(length <= size, "text longer than the input");
    require(text[length] == '\0', "text not terminated at the returned length");
    require(std::string(text.get(), length) == plain::filter(textOf(data, size)),
            "plainwrit_convert differs from the plain model");

    const std::size_t room = plainwrit_stored_room(size);
    std::vector<char> written(room);
    std::size_t writtenSize = 0;
    require(
        plainwrit_convert_stored(html, size, written.data(), room, &writtenSize) == PLAINWRIT_OK,
        "plainwrit_convert_stored failed");
    const std::string expected =
        plain::writeText(plain::filter(plain::readText(bytes, size).delivered));
    require(std::string(written.data(), writtenSize) == expected,
            "plainwrit_convert_stored differs from the plain model");

    std::vector<char> shortRoom(room - 1, 'U');
    require(plainwrit_convert_stored(html, size, shortRoom.data(), room - 1, &writtenSize) ==
                    PLAINWRIT_ROOM_TOO_SMALL &&
                writtenSize == 0,
            "a room one byte short was not refused");
    for (const char c : shortRoom) require(c == 'U', "a refused call wrote");
    return 0;
}
