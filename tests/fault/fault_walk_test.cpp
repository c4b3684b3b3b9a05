// Every call the program makes to the platform, made to fail in turn: for
// each service and kind of fault, the n-th call fails for n = 1, 2, ... until
// a run makes fewer calls than n. Every run must end with the right console
// lines and exit code, leave the input as it was, and leave an output that
// is exact after success and a beginning of it after exit code 4. Under the
// asan preset a leak fails the run as well.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "run_program.h"

namespace {

using run_program::Outcome;

enum class Expect {
    kConverted,
    kInputNotOpened,
    kOutputNotOpened,
    kNoMemory,
    kReadFailed,
    kWriteFailed
};

struct FaultCase {
    const char* fault;  // "<service> <kind>", as the seam reads it
    // What the n-th call's fault leads to; the last entry holds for every later call.
    std::vector<Expect> outcomes;
};

const FaultCase kCases[] = {
    {"open-input error", {Expect::kInputNotOpened}},
    {"open-input eintr", {Expect::kConverted}},
    {"check-input error", {Expect::kInputNotOpened}},
    {"same-file error", {Expect::kConverted}},  // then not the same file: the output is opened
    {"open-output error", {Expect::kOutputNotOpened}},
    {"open-output eintr", {Expect::kConverted}},
    {"buffer error", {Expect::kNoMemory}},
    {"read error", {Expect::kReadFailed}},
    {"read short", {Expect::kConverted}},
    {"read eintr", {Expect::kConverted}},
    {"write error", {Expect::kWriteFailed}},
    {"write zero", {Expect::kWriteFailed}},
    {"write short", {Expect::kConverted}},
    {"write eintr", {Expect::kConverted}},
    // The input is closed first; a failed close of it loses nothing.
    {"close error", {Expect::kConverted, Expect::kWriteFailed}},
    {"close eintr", {Expect::kConverted}},  // the file is closed all the same
};

constexpr long kMostCalls = 1000;  // a walk longer than this has lost its way

const std::string kBanner =
    "Plainwrit HTML to text converter, by the Plainwrit developers\nPlainwrit Version 1.0\n";

bool exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string expectedError(Expect expect, const std::string& input, const std::string& output) {
    switch (expect) {
        case Expect::kConverted: return "";
        case Expect::kInputNotOpened: return "Could not open file " + input + "\n";
        case Expect::kOutputNotOpened: return "Could not open file " + output + "\n";
        case Expect::kNoMemory: return "Not enough memory to convert " + input + "\n";
        case Expect::kReadFailed: return "Could not read file " + input + "\n";
        case Expect::kWriteFailed: return "Could not write file " + output + "\n";
    }
    return "?";
}

int expectedExitCode(Expect expect) {
    switch (expect) {
        case Expect::kConverted: return 0;
        case Expect::kInputNotOpened:
        case Expect::kOutputNotOpened: return 3;
        default: return 4;
    }
}

// Walks every case over one input; returns the number of faults injected.
long walkAll(const std::string& html) {
    const run_program::ScratchDir dir;
    EXPECT_FALSE(dir.path.empty());
    const std::string input = dir / "in.html";
    const std::string output = dir / "out.txt";
    const std::string log = dir / "faults.log";
    run_program::writeFile(input, html);

    // The fault-free run of the same build gives the exact output.
    const Outcome clean = run_program::run(PLAINWRIT_FAULTY_PROGRAM, {input, output}, dir.path);
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    const std::string complete = run_program::readFile(output);
    const Outcome shipped = run_program::run(PLAINWRIT_PROGRAM, {input, output}, dir.path);
    EXPECT_EQ(shipped.exitCode, 0) << shipped.err;
    EXPECT_EQ(run_program::readFile(output), complete) << "the seam changed the output";

    long injected = 0;
    for (const FaultCase& c : kCases) {
        long call = 1;
        for (; call <= kMostCalls; ++call) {
            const std::string fault = std::string(c.fault) + " " + std::to_string(call);
            SCOPED_TRACE(fault);
            std::remove(output.c_str());
            std::remove(log.c_str());
            const Outcome o =
                run_program::run(PLAINWRIT_FAULTY_PROGRAM, {input, output}, dir.path,
                                 {"PLAINWRIT_FAULT=" + fault, "PLAINWRIT_FAULT_LOG=" + log});
            const bool hit = exists(log);
            const std::size_t index = static_cast<std::size_t>(call) - 1;
            const Expect expect =
                !hit ? Expect::kConverted : c.outcomes[std::min(index, c.outcomes.size() - 1)];

            EXPECT_EQ(o.exitCode, expectedExitCode(expect)) << o.err;
            EXPECT_EQ(o.out, expect == Expect::kConverted ? kBanner + "Successfully converted\n"
                                                          : kBanner);
            EXPECT_EQ(o.err, expectedError(expect, input, output));
            EXPECT_EQ(run_program::readFile(input), html) << "the input was changed";
            const std::string written = run_program::readFile(output);
            if (expect == Expect::kConverted) {
                EXPECT_TRUE(written == complete) << "the output is not exact";
            } else if (expect == Expect::kInputNotOpened || expect == Expect::kOutputNotOpened) {
                EXPECT_FALSE(exists(output)) << "an output that could not be opened exists";
            } else {
                EXPECT_TRUE(exists(output));
                EXPECT_TRUE(complete.compare(0, written.size(), written) == 0)
                    << "the output is not a beginning of the converted text";
            }
            if (!hit) break;
            ++injected;
            if (::testing::Test::HasFailure())
                return injected;  // one broken walk is enough to read
        }
        EXPECT_GT(call, 1) << c.fault << ": the seam never reached this service";
        EXPECT_LE(call, kMostCalls) << c.fault;
    }
    return injected;
}

std::string samplePage() {
    return run_program::readFile(std::string(PLAINWRIT_SOURCE_DIR) + "/examples/sample.html");
}

// The sample page: a small file, in one piece.
TEST(FaultWalk, SamplePage) {
    const std::string html = samplePage();
    ASSERT_FALSE(html.empty());
    const long injected = walkAll(html);
    std::printf("faults injected: %ld\n", injected);
}

// Over 2 MiB, so many pieces, and ending with a CR that a read leaves for
// the next one to decide on. A NUL ends the text after the sample page, which
// keeps each run short; the input is still read to its end.
TEST(FaultWalk, PageOfTwoAndAHalfMebibytes) {
    std::string html = samplePage();
    ASSERT_FALSE(html.empty());
    html += '\0';
    html.resize(5u << 19, 'x');
    html += "\r";
    const long injected = walkAll(html);
    std::printf("faults injected: %ld\n", injected);
}

}  // namespace
