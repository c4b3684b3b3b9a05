// The library's file-to-file calls: the program's whole run between checking
// its arguments and reporting the outcome, which the program itself uses.
// The outcome is returned as a status; nothing is printed.
#include <cstdint>

#include "markup_filter.h"
#include "plainwrit.h"
#include "platform_file.h"
#include "text_mode.h"

#if defined(_WIN32)
#include <windows.h>

#include <memory>
#include <new>
#endif

namespace {

constexpr std::size_t kReadLimit = PLAINWRIT_READ_LIMIT;

// One buffer does all the work: the input is read to kFilterLead bytes into
// it, filtered into its start (the output never catches up with the input),
// and the CR LF form of the result is built in what follows the output.
// Whatever the input, that is close to a mebibyte, so the output goes out in
// a few large writes.
constexpr std::size_t kBufferSize = std::size_t{4} << 20;
constexpr std::size_t kInputOffset = kFilterLead;
constexpr std::size_t kScratchAlign = 64;
constexpr std::size_t kLeastScratch = kBufferSize - (kReadLimit + 1) - kScratchAlign;
static_assert(kInputOffset + kReadLimit + 1 <= kBufferSize, "the input must fit");
static_assert(kLeastScratch >= (std::size_t{1} << 19), "room for large writes");

struct Run {
    const PathChar* inputPath;
    const PathChar* outputPath;
    FileHandle input = kNoFile;
    FileHandle output = kNoFile;
    char* buffer = nullptr;
};

// Files first, then the buffer, each only if it was obtained.
bool closeFiles(Run& run) {
    bool outputClosed = true;
    if (run.input != kNoFile) closeFile(run.input);
    if (run.output != kNoFile) outputClosed = closeFile(run.output);
    run.input = run.output = kNoFile;
    return outputClosed;
}

void releaseBuffers(Run& run) {
    if (run.buffer != nullptr) releaseBuffer(run.buffer, kBufferSize);
    run.buffer = nullptr;
}

plainwrit_status endIncomplete(Run& run, plainwrit_status status) {
    closeFiles(run);
    releaseBuffers(run);
    return status;
}

plainwrit_status convert(Run& run, bool& truncated) {
    run.input = openInputFile(run.inputPath);
    if (run.input == kNoFile) return PLAINWRIT_CANNOT_OPEN_INPUT;
    // Opening the output would empty the input before it is read.
    if (isSameFile(run.input, run.outputPath)) {
        closeFiles(run);
        return PLAINWRIT_OUTPUT_IS_INPUT;
    }
    run.output = openOutputFile(run.outputPath);
    if (run.output == kNoFile) {
        closeFiles(run);
        return PLAINWRIT_CANNOT_OPEN_OUTPUT;
    }

    // The buffer always has room for the limit; the file's size only says how
    // much of it is likely touched: the input, the output and its CR LF form.
    const std::uint64_t sizeHint = fileSizeHint(run.input);
    const std::size_t expectedInput =
        sizeHint == 0 || sizeHint > kReadLimit ? kReadLimit : static_cast<std::size_t>(sizeHint);
    const std::size_t expectedUse = kInputOffset + 3 * expectedInput + kScratchAlign;
    run.buffer = obtainBuffer(kBufferSize, expectedUse < kBufferSize ? expectedUse : kBufferSize);
    if (run.buffer == nullptr) return endIncomplete(run, PLAINWRIT_NO_MEMORY);
    char* const input = run.buffer + kInputOffset;
    const TextReadResult read = readTextMode(readFileBytes, &run.input, input, kReadLimit);
    if (read.failed) return endIncomplete(run, PLAINWRIT_CANNOT_READ);
    truncated = read.truncated;

    // A NUL byte ends the text.
    const std::size_t outputLength = filterMarkup(input, read.textEnd, run.buffer);

    // The input is no longer needed; the CR LF form is built after the output.
    const std::size_t scratchStart =
        (outputLength + 1 + kScratchAlign - 1) / kScratchAlign * kScratchAlign;
    const bool written = writeTextMode(writeFileBytes, &run.output, run.buffer, outputLength,
                                       run.buffer + scratchStart, kBufferSize - scratchStart);
    const bool closed = closeFiles(run);
    if (!written || !closed) return endIncomplete(run, PLAINWRIT_CANNOT_WRITE);
    releaseBuffers(run);
    return truncated ? PLAINWRIT_OK_TRUNCATED : PLAINWRIT_OK;
}

plainwrit_status convertPaths(const PathChar* inputPath, const PathChar* outputPath,
                              int* truncated) {
    if (truncated != nullptr) *truncated = 0;
    if (inputPath == nullptr || outputPath == nullptr) return PLAINWRIT_INVALID_ARGUMENT;
    Run run;
    run.inputPath = inputPath;
    run.outputPath = outputPath;
    bool cut = false;
    const plainwrit_status status = convert(run, cut);
    if (truncated != nullptr) *truncated = cut ? 1 : 0;
    return status;
}

#if defined(_WIN32)
// UTF-8 to UTF-16, in a buffer of its own; null when the name is not valid
// UTF-8 or there is no memory.
std::unique_ptr<wchar_t[]> toUtf16(const char* path) {
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (units <= 0) return nullptr;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<std::size_t>(units)]);
    if (!wide) return nullptr;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.get(), units) != units) {
        return nullptr;
    }
    return wide;
}
#endif

}  // namespace

extern "C" {

#if defined(_WIN32)
plainwrit_status plainwrit_convert_file(const char* input_path, const char* output_path,
                                        int* truncated) {
    if (truncated != nullptr) *truncated = 0;
    if (input_path == nullptr || output_path == nullptr) return PLAINWRIT_INVALID_ARGUMENT;
    // A name that is not UTF-8 names no file.
    const std::unique_ptr<wchar_t[]> input = toUtf16(input_path);
    if (!input) return PLAINWRIT_CANNOT_OPEN_INPUT;
    const std::unique_ptr<wchar_t[]> output = toUtf16(output_path);
    if (!output) return PLAINWRIT_CANNOT_OPEN_OUTPUT;
    return convertPaths(input.get(), output.get(), truncated);
}

plainwrit_status plainwrit_convert_file_w(const wchar_t* input_path, const wchar_t* output_path,
                                          int* truncated) {
    return convertPaths(input_path, output_path, truncated);
}
#else
plainwrit_status plainwrit_convert_file(const char* input_path, const char* output_path,
                                        int* truncated) {
    return convertPaths(input_path, output_path, truncated);
}
#endif

}  // extern "C"
