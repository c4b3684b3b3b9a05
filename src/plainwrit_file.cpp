// The library's file-to-file calls: the program's whole run between checking
// its arguments and reporting the outcome, which the program itself uses.
// The outcome is returned as a status; nothing is printed.
#include "piece_run.h"
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

// Pieces of the raw requests' size, 128 KiB: smaller ones cost more
// requests than the cache saves them. The buffer is about 384 KiB with the
// text written over the input; a run touches only the pages it uses, about
// 40 for a 100 KiB page.
constexpr std::size_t kPiece = kReadPiece;
constexpr std::size_t kBufferSize = pieceBufferSize(kPiece);

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
    if (run.buffer != nullptr) releaseBuffer(run.buffer);
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

    run.buffer = obtainBuffer(kBufferSize);
    if (run.buffer == nullptr) return endIncomplete(run, PLAINWRIT_NO_MEMORY);
    TextReader reader{readFileBytes, &run.input, kReadLimit};
    const bool written = convertInPieces(reader, writeFileBytes, &run.output, run.buffer, kPiece);
    // A read error is reported before a write error, and the limit warning always.
    if (reader.failed) return endIncomplete(run, PLAINWRIT_CANNOT_READ);
    truncated = reader.truncated;
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
