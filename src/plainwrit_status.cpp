// The library's version and what it says about a status: the short text, the
// program's console line with its path, and the program's exit code.
#include <cstring>

#include "plainwrit.h"
#include "status_lines.h"

namespace {

struct StatusText {
    const char* message;  // without a path
    const char* before;
    const char* after;
    PathNamed path;
    int exitCode;
};

// Indexed by plainwrit_status; the static_assert below keeps it complete.
// clang-format off
constexpr StatusText kStatusTexts[] = {
    {"Successfully converted", "Successfully converted", "", PathNamed::kNone, 0},
    {"Warning: only the first 3145728 bytes were converted",
     "Warning: only the first 3145728 bytes of ", " were converted", PathNamed::kInput, 0},
    {"Invalid Number of arguments", "Invalid Number of arguments", "", PathNamed::kNone, 2},
    {"Could not open file", "Could not open file ", "", PathNamed::kInput, 3},
    {"Could not open file", "Could not open file ", "", PathNamed::kOutput, 3},
    {"Could not open file: it is the input file", "Could not open file ",
     ": it is the input file", PathNamed::kOutput, 3},
    {"Could not read file", "Could not read file ", "", PathNamed::kInput, 4},
    {"Could not write file", "Could not write file ", "", PathNamed::kOutput, 4},
    {"Not enough memory to convert", "Not enough memory to convert ", "", PathNamed::kInput, 4},
    {"Invalid argument", "Invalid argument", "", PathNamed::kNone, 2},
    {"Not enough room for the result", "Not enough room for the result", "", PathNamed::kNone, 2},
};
// clang-format on
constexpr std::size_t kStatusCount = sizeof(kStatusTexts) / sizeof(kStatusTexts[0]);
static_assert(kStatusCount == PLAINWRIT_ROOM_TOO_SMALL + 1, "a text for every status");
static_assert(PLAINWRIT_READ_LIMIT == 3145728, "the warning names the read limit");

const StatusText* textOf(plainwrit_status status) {
    const auto index = static_cast<std::size_t>(status);
    return index < kStatusCount ? &kStatusTexts[index] : nullptr;
}

// Appends `part` to the line so far, keeping room for the NUL; counts it all.
void append(const char* part, char* line, std::size_t room, std::size_t& length) {
    const std::size_t n = std::strlen(part);
    if (length + 1 < room) {
        const std::size_t fits = room - 1 - length;
        std::memcpy(line + length, part, n < fits ? n : fits);
    }
    length += n;
}

}  // namespace

StatusLine statusLine(plainwrit_status status) {
    const StatusText* text = textOf(status);
    if (text == nullptr) return {"Unknown status", "", PathNamed::kNone};
    return {text->before, text->after, text->path};
}

extern "C" {

const char* plainwrit_version(void) { return PLAINWRIT_VERSION_STRING; }

const char* plainwrit_status_message(plainwrit_status status) {
    const StatusText* text = textOf(status);
    return text != nullptr ? text->message : "Unknown status";
}

size_t plainwrit_status_line(plainwrit_status status, const char* input_path,
                             const char* output_path, char* line, size_t room) {
    if (line == nullptr) room = 0;
    const StatusLine parts = statusLine(status);
    const char* const paths[] = {"", input_path, output_path};
    const char* path = paths[static_cast<int>(parts.path)];
    std::size_t length = 0;
    append(parts.before, line, room, length);
    append(path != nullptr ? path : "", line, room, length);
    append(parts.after, line, room, length);
    if (room != 0) line[length < room ? length : room - 1] = '\0';
    return length;
}

int plainwrit_exit_code(plainwrit_status status) {
    const StatusText* text = textOf(status);
    return text != nullptr ? text->exitCode : 4;
}

}  // extern "C"
