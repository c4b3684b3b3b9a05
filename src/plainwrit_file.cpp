// The library's file-to-file call: what the program does between checking
// its arguments and reporting the outcome, with the outcome returned as a
// status instead of printed.
#include <cstdint>
#include <cstring>

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

struct Run {
    const char* inputPath;
    const char* outputPath;
    FileHandle input = kNoFile;
    FileHandle output = kNoFile;
    char* inputBuffer = nullptr;
    char* outputBuffer = nullptr;
    std::size_t outputCapacity = 0;
};

// Files first, then buffers, each only if it was obtained.
bool closeFiles(Run& run) {
    bool outputClosed = true;
    if (run.input != kNoFile) closeFile(run.input);
    if (run.output != kNoFile) outputClosed = closeFile(run.output);
    run.input = run.output = kNoFile;
    return outputClosed;
}

void releaseBuffers(Run& run) {
    if (run.inputBuffer != nullptr) releaseBuffer(run.inputBuffer, kReadLimit + 1);
    if (run.outputBuffer != nullptr) releaseBuffer(run.outputBuffer, run.outputCapacity);
    run.inputBuffer = run.outputBuffer = nullptr;
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
    // much of it is likely touched.
    const std::uint64_t sizeHint = fileSizeHint(run.input);
    const std::size_t expectedInput =
        (sizeHint == 0 || sizeHint > kReadLimit ? kReadLimit : static_cast<std::size_t>(sizeHint)) +
        1;
    run.inputBuffer = obtainBuffer(kReadLimit + 1, expectedInput);
    if (run.inputBuffer == nullptr) return endIncomplete(run, PLAINWRIT_NO_MEMORY);
    const TextReadResult read =
        readTextMode(readFileBytes, &run.input, run.inputBuffer, kReadLimit);
    if (read.failed) return endIncomplete(run, PLAINWRIT_CANNOT_READ);
    truncated = read.truncated;

    run.outputCapacity = read.size + 1;
    run.outputBuffer = obtainBuffer(run.outputCapacity, run.outputCapacity);
    if (run.outputBuffer == nullptr) return endIncomplete(run, PLAINWRIT_NO_MEMORY);
    // A NUL byte ends the text.
    const void* nul = std::memchr(run.inputBuffer, '\0', read.size);
    const std::size_t textLength =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - run.inputBuffer) : read.size;
    const std::size_t outputLength = filterMarkup(run.inputBuffer, textLength, run.outputBuffer);

    // The input is no longer needed: it holds the CR LF form for the write.
    const bool written = writeTextMode(writeFileBytes, &run.output, run.outputBuffer, outputLength,
                                       run.inputBuffer, kReadLimit + 1);
    const bool closed = closeFiles(run);
    if (!written || !closed) return endIncomplete(run, PLAINWRIT_CANNOT_WRITE);
    releaseBuffers(run);
    return truncated ? PLAINWRIT_OK_TRUNCATED : PLAINWRIT_OK;
}

#if defined(_WIN32)
// UTF-16 to UTF-8, in a buffer the caller frees; nullptr when the name is
// not valid UTF-16 or there is no memory.
std::unique_ptr<char[]> toUtf8(const wchar_t* path) {
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return nullptr;
    std::unique_ptr<char[]> utf8(new (std::nothrow) char[static_cast<std::size_t>(size)]);
    if (!utf8) return nullptr;
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, utf8.get(), size, nullptr,
                            nullptr) != size) {
        return nullptr;
    }
    return utf8;
}
#endif

}  // namespace

extern "C" {

plainwrit_status plainwrit_convert_file(const char* input_path, const char* output_path,
                                        int* truncated) {
    if (truncated != nullptr) *truncated = 0;
    if (input_path == nullptr || output_path == nullptr) return PLAINWRIT_INVALID_ARGUMENT;
    Run run;
    run.inputPath = input_path;
    run.outputPath = output_path;
    bool cut = false;
    const plainwrit_status status = convert(run, cut);
    if (truncated != nullptr) *truncated = cut ? 1 : 0;
    return status;
}

#if defined(_WIN32)
plainwrit_status plainwrit_convert_file_w(const wchar_t* input_path, const wchar_t* output_path,
                                          int* truncated) {
    if (truncated != nullptr) *truncated = 0;
    if (input_path == nullptr || output_path == nullptr) return PLAINWRIT_INVALID_ARGUMENT;
    const std::unique_ptr<char[]> input = toUtf8(input_path);
    if (!input) return PLAINWRIT_CANNOT_OPEN_INPUT;
    const std::unique_ptr<char[]> output = toUtf8(output_path);
    if (!output) return PLAINWRIT_CANNOT_OPEN_OUTPUT;
    return plainwrit_convert_file(input.get(), output.get(), truncated);
}
#endif

}  // extern "C"
