// plainwrit <input-htmlfile> <output-textfile>
//
// The driver: prints the banner, checks the arguments, has the library
// convert the input file into the output file, and reports the outcome as
// console lines and an exit code (0 converted, 2 wrong arguments, 3 a file
// cannot be opened, 4 the files were opened but the conversion could not be
// completed).
#include <cstdio>

#include "plainwrit.h"
#include "platform_console.h"
#include "platform_file.h"
#include "platform_signals.h"
#include "status_lines.h"

namespace {

void say(const char* text) { writeConsoleLine(ConsoleStream::kOut, text); }

// Standard output is flushed before anything goes to standard error, so the
// two interleave in order.
void complain(const char* before, const PathChar* path = nullptr, const char* after = "") {
    (void)std::fflush(stdout);
    writeConsoleLine(ConsoleStream::kErr, before, path, after);
}

// The status's line, with the path exactly as the command line gave it.
void complainAbout(plainwrit_status status, const PathChar* inputPath, const PathChar* outputPath) {
    const StatusLine line = statusLine(status);
    const PathChar* const paths[] = {nullptr, inputPath, outputPath};
    complain(line.before, paths[static_cast<int>(line.path)], line.after);
}

#if defined(_WIN32)
plainwrit_status convertFile(const PathChar* input, const PathChar* output, int* truncated) {
    return plainwrit_convert_file_w(input, output, truncated);
}
#else
plainwrit_status convertFile(const PathChar* input, const PathChar* output, int* truncated) {
    return plainwrit_convert_file(input, output, truncated);
}
#endif

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
        complainAbout(PLAINWRIT_WRONG_ARGUMENTS, nullptr, nullptr);
        complain("Plainwrit <input-htmlfile> <output-textfile>");
        return plainwrit_exit_code(PLAINWRIT_WRONG_ARGUMENTS);
    }
    // The warning comes before the outcome, which may still be a failure.
    int truncated = 0;
    const plainwrit_status status = convertFile(argv[1], argv[2], &truncated);
    if (truncated != 0) complainAbout(PLAINWRIT_OK_TRUNCATED, argv[1], argv[2]);
    if (plainwrit_exit_code(status) == 0) {
        say(statusLine(PLAINWRIT_OK).before);
    } else {
        complainAbout(status, argv[1], argv[2]);
    }
    return plainwrit_exit_code(status);
}
