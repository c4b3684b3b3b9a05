// Compile-time checks that the sizes the program relies on hold on the
// target it is built for, 32-bit Windows included. Compiled into every
// build, linked into nothing: a build whose programs cannot run here still
// fails when one of these does not hold.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "platform_file.h"
#include "text_mode.h"

namespace {

constexpr std::size_t kReadLimit = 3145728;    // the read limit of main.cpp
constexpr std::size_t kMaxRequest = 1U << 30;  // the largest single read or write

// Both buffers together, each with its terminator, are counted in std::size_t.
static_assert(2 * (kReadLimit + 1) < std::numeric_limits<std::size_t>::max() / 2,
              "both buffers fit in std::size_t with room to spare");
// A raw read returns a count or -1 in std::ptrdiff_t.
static_assert(kReadLimit + 1 <=
                  static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()),
              "a read count fits in std::ptrdiff_t");
static_assert(sizeof(std::ptrdiff_t) == sizeof(std::size_t), "counts and sizes are equally wide");
// Win32 takes 32-bit counts; POSIX takes ssize_t ones.
static_assert(kMaxRequest <= std::numeric_limits<std::uint32_t>::max(),
              "one request fits a 32-bit count");
static_assert(kReadLimit <= kMaxRequest, "the whole input is one request");
// A file handle holds a Win32 HANDLE (a pointer) as well as a descriptor.
static_assert(sizeof(FileHandle) >= sizeof(void*), "a file handle holds a pointer");
static_assert(std::numeric_limits<FileHandle>::is_signed, "kNoFile is negative");
static_assert(sizeof(TextReadResult::size) == sizeof(std::size_t), "read sizes in std::size_t");

}  // namespace
