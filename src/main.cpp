// plainwrit <input-htmlfile> <output-textfile>
//
// The driver: prints the banner, checks the arguments, opens both files,
// reads the input in text mode up to the read limit, runs the markup filter,
// writes the result in text mode and reports the outcome as console lines and
// an exit code (0 converted, 2 wrong arguments, 3 a file cannot be opened,
// 4 the files were opened but the conversion could not be completed).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "markup_filter.h"
#include "platform_console.h"
#include "platform_file.h"
#include "platform_signals.h"
#include "text_mode.h"

namespace {

constexpr std::size_t kReadLimit = 3145728;  // 3 MiB: the most input that is read
constexpr const char* kTruncatedBefore = "Warning: only the first 3145728 bytes of ";

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

// The first number in `text`.
constexpr std::size_t numberIn(const char* text) {
    while (*text < '0' || *text > '9') ++text;
    std::size_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<std::size_t>(*text - '0');
    return value;
}
static_assert(numberIn(kTruncatedBefore) == kReadLimit, "the warning must name the real limit");

constexpr int kExitConverted = 0;
constexpr int kExitWrongArguments = 2;
constexpr int kExitCannotOpen = 3;
constexpr int kExitNotCompleted = 4;

void say(const char* text) { writeConsoleLine(ConsoleStream::kOut, text); }

// Standard output is flushed before anything goes to standard error, so the
// two interleave in order.
void complain(const char* before, const PathChar* path = nullptr, const char* after = "") {
    (void)std::fflush(stdout);
    writeConsoleLine(ConsoleStream::kErr, before, path, after);
}

struct Run {
    const PathChar* inputPath;
    const PathChar* outputPath;
    FileHandle input = kNoFile;
    FileHandle output = kNoFile;
    char* buffer = nullptr;
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
    if (run.buffer != nullptr) releaseBuffer(run.buffer, kBufferSize);
    run.buffer = nullptr;
}

int endIncomplete(Run& run, const char* first, const PathChar* path) {
    closeFiles(run);
    complain(first, path);
    releaseBuffers(run);
    return kExitNotCompleted;
}

int convert(Run& run) {
    run.input = openInputFile(run.inputPath);
    if (run.input == kNoFile) {
        complain("Could not open file ", run.inputPath);
        return kExitCannotOpen;
    }
    // Opening the output would empty the input before it is read.
    if (isSameFile(run.input, run.outputPath)) {
        closeFiles(run);
        complain("Could not open file ", run.outputPath, ": it is the input file");
        return kExitCannotOpen;
    }
    run.output = openOutputFile(run.outputPath);
    if (run.output == kNoFile) {
        closeFiles(run);
        complain("Could not open file ", run.outputPath);
        return kExitCannotOpen;
    }

    // The buffer always has room for the limit; the file's size only says how
    // much of it is likely touched: the input, the output and its CR LF form.
    const std::uint64_t sizeHint = fileSizeHint(run.input);
    const std::size_t expectedInput =
        sizeHint == 0 || sizeHint > kReadLimit ? kReadLimit : static_cast<std::size_t>(sizeHint);
    const std::size_t expectedUse = kInputOffset + 3 * expectedInput + kScratchAlign;
    run.buffer = obtainBuffer(kBufferSize, expectedUse < kBufferSize ? expectedUse : kBufferSize);
    if (run.buffer == nullptr) {
        return endIncomplete(run, "Not enough memory to convert ", run.inputPath);
    }
    char* const input = run.buffer + kInputOffset;
    const TextReadResult read = readTextMode(readFileBytes, &run.input, input, kReadLimit);
    if (read.failed) return endIncomplete(run, "Could not read file ", run.inputPath);
    if (read.truncated) {
        complain(kTruncatedBefore, run.inputPath, " were converted");
    }

    // A NUL byte ends the text.
    const void* nul = std::memchr(input, '\0', read.size);
    const std::size_t textLength =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - input) : read.size;
    const std::size_t outputLength = filterMarkup(input, textLength, run.buffer);

    // The input is no longer needed; the CR LF form is built after the output.
    const std::size_t scratchStart =
        (outputLength + 1 + kScratchAlign - 1) / kScratchAlign * kScratchAlign;
    const bool written = writeTextMode(writeFileBytes, &run.output, run.buffer, outputLength,
                                       run.buffer + scratchStart, kBufferSize - scratchStart);
    const bool closed = closeFiles(run);
    if (!written || !closed) return endIncomplete(run, "Could not write file ", run.outputPath);

    say("Successfully converted");
    releaseBuffers(run);
    return kExitConverted;
}

}  // namespace

// Windows gives the arguments as UTF-16, split by the C runtime as always.
#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    makeWriteFailuresReportable();
    say("Plainwrit HTML to text converter, by the Plainwrit developers");
    say("Plainwrit Version 1.0");
    if (argc != 3) {
        complain("Invalid Number of arguments");
        complain("Plainwrit <input-htmlfile> <output-textfile>");
        return kExitWrongArguments;
    }
    Run run;
    run.inputPath = argv[1];
    run.outputPath = argv[2];
    return convert(run);
}
