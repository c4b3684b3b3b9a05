// The library's in-memory calls: HTML bytes to text, and the bytes of a
// stored file to the bytes the program writes for it. Nothing here throws,
// prints or keeps state a caller can see.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "markup_filter.h"
#include "plainwrit.h"
#include "text_mode.h"

namespace {

// The text in front of the first NUL. The filter reads no byte past the
// length it is given, so the caller's bytes are taken where they are: no
// copy, no allocation.
std::size_t filterUpToNul(const char* input, std::size_t size, char* output) {
    const void* nul = std::memchr(input, '\0', size);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - input) : size;
    return filterMarkup(input, length, output);
}

struct MemorySource {
    const char* at;
    std::size_t left;
};

std::ptrdiff_t readMemory(void* source, char* buffer, std::size_t capacity) {
    auto* from = static_cast<MemorySource*>(source);
    const std::size_t n = std::min(from->left, capacity);
    std::memcpy(buffer, from->at, n);
    from->at += n;
    from->left -= n;
    return static_cast<std::ptrdiff_t>(n);
}

struct MemorySink {
    char* at;
};

// The caller has checked the room: the CR LF form always fits.
bool writeMemory(void* sink, const char* data, std::size_t size) {
    auto* to = static_cast<MemorySink*>(sink);
    std::memcpy(to->at, data, size);
    to->at += size;
    return true;
}

constexpr std::size_t kWriteScratch = 4096;

}  // namespace

extern "C" {

size_t plainwrit_convert(const char* html, size_t length, char* text) {
    if (text == nullptr) return PLAINWRIT_ERROR;
    if (html == nullptr) {
        *text = '\0';
        return length == 0 ? 0 : PLAINWRIT_ERROR;
    }
    return filterUpToNul(html, length, text);
}

size_t plainwrit_stored_room(size_t size) {
    if (size > (SIZE_MAX - 2) / 2) return 0;
    return 2 * size + 2;
}

// `written` holds, in turn: the input after the text-mode read in its first
// size + 1 bytes, the filtered text in the next size + 1, and the CR LF form
// from its start. The CR LF form of the first c filtered bytes is at most
// 2c bytes long, so it never reaches filtered text not yet taken.
plainwrit_status plainwrit_convert_stored(const char* stored, size_t size, char* written,
                                          size_t room, size_t* written_size) {
    if (written_size != nullptr) *written_size = 0;
    if (written == nullptr || written_size == nullptr || (stored == nullptr && size != 0)) {
        return PLAINWRIT_INVALID_ARGUMENT;
    }
    const std::size_t needed = plainwrit_stored_room(size);
    if (needed == 0 || room < needed) return PLAINWRIT_ROOM_TOO_SMALL;

    char* const input = written;
    // memcpy needs a real pointer even for no bytes.
    MemorySource source{size != 0 ? stored : "", size};
    const TextReadResult read = readTextMode(readMemory, &source, input, size);
    char* const filtered = written + size + 1;
    const std::size_t filteredLength = filterMarkup(input, read.textEnd, filtered);

    char scratch[kWriteScratch];
    MemorySink sink{written};
    (void)writeTextMode(writeMemory, &sink, filtered, filteredLength, scratch, sizeof scratch);
    *written_size = static_cast<std::size_t>(sink.at - written);
    return PLAINWRIT_OK;
}

}  // extern "C"
