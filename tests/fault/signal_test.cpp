// Writes the system would end with a signal: past the file-size limit, and
// into a pipe whose reader has gone. Both must end with the program's own
// message and exit code 4, not a silent death.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>

#include "run_program.h"

namespace {

using run_program::Outcome;

const std::string kBanner =
    "Plainwrit HTML to text converter, by the Plainwrit developers\nPlainwrit Version 1.0\n";

// A page whose text is about 100 times `lines` bytes, and that text as written.
std::string pageOf(std::size_t lines) {
    std::string html = "<html><body>";
    for (std::size_t i = 0; i < lines; ++i)
        html += "<p>A line of ordinary text, line feed before it.";
    return html;
}

constexpr rlim_t kFileSizeLimit = 100 * 1024;

void limitFileSize() {
    const struct rlimit limit = {kFileSizeLimit, kFileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(Signals, OutputPastTheFileSizeLimitIsAWriteFailure) {
    const run_program::ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    run_program::writeFile(dir / "in.html", pageOf(5000));  // some 250 KiB of output
    const Outcome o = run_program::run(PLAINWRIT_PROGRAM, {dir / "in.html", dir / "out.txt"},
                                       dir.path, {}, limitFileSize);
    EXPECT_EQ(o.exitCode, 4);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.err, "Could not write file " + (dir / "out.txt") + "\n");
    struct stat info;
    ASSERT_EQ(::stat((dir / "out.txt").c_str(), &info), 0);
    EXPECT_LE(static_cast<rlim_t>(info.st_size), kFileSizeLimit);
}

TEST(Signals, PipeWhoseReaderLeavesIsAWriteFailure) {
    const run_program::ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    run_program::writeFile(dir / "in.html", pageOf(20000));  // more than a pipe holds
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&fifo, &received] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);  // waits for the program
        if (fd < 0) return;
        char bytes[10];
        std::size_t got = 0;
        while (got < sizeof bytes) {
            const ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        received.assign(bytes, got);
        ::close(fd);
    });
    const Outcome o = run_program::run(PLAINWRIT_PROGRAM, {dir / "in.html", fifo}, dir.path);
    // Should the program never open the pipe, this releases the reader.
    const int unblock = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    reader.join();
    if (unblock >= 0) ::close(unblock);
    EXPECT_EQ(o.exitCode, 4);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.err, "Could not write file " + fifo + "\n");
    EXPECT_EQ(received, "\r\nA line o");
}

}  // namespace
