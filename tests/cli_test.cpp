// End-to-end: runs the built program and checks its console lines, its exit
// code and the bytes of the file it writes, for every outcome of a run.
//
// PLAINWRIT_PROGRAM names the program to run (default: the one just built);
// PLAINWRIT_EMULATOR, when set, is a launcher put in front of it;
// PLAINWRIT_RUN_TIMEOUT is the most seconds one run may take (default 60).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
    long peakKilobytes = 0;  // the most memory the run held at once
};

const std::string& consoleLineEnd() {
    static const std::string end =
        envOr("PLAINWRIT_CONSOLE_LINE_END", "\n") == "crlf" ? "\r\n" : "\n";
    return end;
}

std::string lines(std::initializer_list<std::string> texts) {
    std::string joined;
    for (const std::string& text : texts) joined += text + consoleLineEnd();
    return joined;
}

// A Windows program (an .exe, run under an emulator) gets its arguments as
// UTF-16 and names a path it cannot spell in the ANSI code page with "?".
bool testingWindowsProgram() {
    const std::string program = envOr("PLAINWRIT_PROGRAM", PLAINWRIT_PROGRAM);
    return program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
}

const std::string kBanner = lines(
    {"Plainwrit HTML to text converter, by the Plainwrit developers", "Plainwrit Version 1.0"});

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = envOr("TMPDIR", "/tmp") + "/plainwrit-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty())
            std::system(("chattr -R -i '" + dir_ + "' 2>/dev/null; chmod -R u+w '" + dir_ +
                         "'; rm -rf '" + dir_ + "'")
                            .c_str());
    }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs the program with `args`, its console streams going to files, and
    // kills it if it takes longer than a run ever should.
    Outcome run(const std::vector<std::string>& args, const std::string& workDir = "") const {
        const std::string program = envOr("PLAINWRIT_PROGRAM", PLAINWRIT_PROGRAM);
        const std::string emulator = envOr("PLAINWRIT_EMULATOR", "");
        std::vector<std::string> words;
        if (!emulator.empty()) words.push_back(emulator);
        words.push_back(program);
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(&word[0]);
        argv.push_back(nullptr);

        const std::string outPath = path(".stdout");
        const std::string errPath = path(".stderr");
        const pid_t child = ::fork();
        if (child == 0) {
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(126);
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        Outcome outcome;
        int status = 0;
        struct rusage usage {};
        const auto deadline =
            std::chrono::steady_clock::now() +
            std::chrono::seconds(std::atoi(envOr("PLAINWRIT_RUN_TIMEOUT", "60").c_str()));
        while (::wait4(child, &status, WNOHANG, &usage) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                ADD_FAILURE() << "the run did not end in time";
                return outcome;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.peakKilobytes = usage.ru_maxrss;
        outcome.out = readFile(outPath);
        outcome.err = readFile(errPath);
        return outcome;
    }

    // Writes `html` to an input file, converts it and expects success.
    std::string convert(const std::string& html) const {
        writeFile(path("in.html"), html);
        const Outcome o = run({path("in.html"), path("out.txt")});
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.out, kBanner + lines({"Successfully converted"}));
        EXPECT_EQ(o.err, "");
        return readFile(path("out.txt"));
    }

    std::string dir_;
};

TEST_F(Cli, WrongNumberOfArguments) {
    const std::vector<std::vector<std::string>> argumentLists = {
        {}, {"one"}, {"one", "two", "three"}};
    for (const auto& args : argumentLists) {
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 2) << args.size() << " arguments";
        EXPECT_EQ(o.out, kBanner);
        EXPECT_EQ(o.err, lines({"Invalid Number of arguments",
                                "Plainwrit <input-htmlfile> <output-textfile>"}));
    }
}

TEST_F(Cli, MissingInputCreatesNothing) {
    const Outcome o = run({path("missing.html"), path("out.txt")});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.err, lines({"Could not open file " + path("missing.html")}));
    EXPECT_FALSE(exists(path("out.txt")));
}

TEST_F(Cli, DirectoryAsInput) {
    const Outcome o = run({dir_, path("out.txt")});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.err, lines({"Could not open file " + dir_}));
    EXPECT_FALSE(exists(path("out.txt")));
}

TEST_F(Cli, OutputInMissingDirectory) {
    writeFile(path("in.html"), "<p>x");
    const std::string output = path("no/such/dir/out.txt");
    const Outcome o = run({path("in.html"), output});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.err, lines({"Could not open file " + output}));
}

TEST_F(Cli, ArgumentsAreTakenAsGiven) {
    // Where the program's runtime splits the command line itself, a quoted
    // blank stays inside the argument and wildcards are not expanded.
    writeFile(path("in put.html"), "<p>x");
    Outcome o = run({path("in put.html"), path("out put.txt")});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readFile(path("out put.txt")), "\r\nx");
    o = run({path("in*.html"), path("out.txt")});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.err, lines({"Could not open file " + path("in*.html")}));
}

TEST_F(Cli, EmptyInputGivesEmptyOutput) { EXPECT_EQ(convert(""), ""); }

TEST_F(Cli, OutputReplacesAnExistingFile) {
    writeFile(path("out.txt"), "an older and much longer text than the new one");
    EXPECT_EQ(convert("new"), "new");
}

TEST_F(Cli, TextModeOnBothFiles) {
    // Line breaks of the input are control bytes and vanish; the line feeds
    // that tags leave are stored as CR LF.
    EXPECT_EQ(convert("<table><tr><td>a<td>b</table>\r\nx\ry\x1a<p>lost"), "\r\n\ta\tbxy");
    EXPECT_EQ(convert("one\r\ntwo<br>three<br>"), "onetwo\r\nthree\r\n");
}

TEST_F(Cli, NulEndsTheText) { EXPECT_EQ(convert(std::string("kept\0<p>dropped", 15)), "kept"); }

TEST_F(Cli, InputOverTheLimitIsCutWithAWarning) {
    const std::size_t limit = 3145728;
    // CR LF pairs count once: the cut falls after translation.
    std::string html(limit - 2, 'a');
    html += "\r\nbb\r\ncc";
    writeFile(path("in.html"), html);
    const Outcome o = run({path("in.html"), path("out.txt")});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, kBanner + lines({"Successfully converted"}));
    EXPECT_EQ(o.err, lines({"Warning: only the first 3145728 bytes of " + path("in.html") +
                            " were converted"}));
    // The line feed is dropped as a control byte; one "b" fits.
    EXPECT_EQ(readFile(path("out.txt")), std::string(limit - 2, 'a') + "b");
}

TEST_F(Cli, InputExactlyAtTheLimitHasNoWarning) {
    const std::size_t limit = 3145728;
    std::string html(limit, 'a');
    html += "\x1a trailing bytes after Ctrl-Z are not input";
    writeFile(path("in.html"), html);
    const Outcome o = run({path("in.html"), path("out.txt")});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(readFile(path("out.txt")).size(), limit);
}

// The CR LF form is built in pieces far smaller than a limit-sized output:
// every piece edge falls somewhere in a line, before or inside a CR LF pair.
TEST_F(Cli, LongOutputGoesOutWhole) {
    const std::size_t limit = 3145728;
    std::string html;
    std::string expected;
    for (std::size_t line = 0; html.size() < limit - 16; ++line) {
        const std::string word(line % 13, static_cast<char>('a' + line % 26));
        html += word + "<p>";
        expected += word + "\r\n";
    }
    EXPECT_EQ(convert(html), expected);
}

TEST_F(Cli, SameFileIsRefusedAndLeftUntouched) {
    const std::string html = "<p>keep me";
    writeFile(path("in.html"), html);
    ASSERT_EQ(::symlink(path("in.html").c_str(), path("soft.txt").c_str()), 0);
    ASSERT_EQ(::link(path("in.html").c_str(), path("hard.txt").c_str()), 0);
    for (const std::string& output :
         {path("in.html"), path("soft.txt"), path("hard.txt"), dir_ + "/./in.html"}) {
        const Outcome o = run({path("in.html"), output});
        EXPECT_EQ(o.exitCode, 3) << output;
        EXPECT_EQ(o.out, kBanner);
        EXPECT_EQ(o.err, lines({"Could not open file " + output + ": it is the input file"}));
        EXPECT_EQ(readFile(path("in.html")), html);
    }
}

TEST_F(Cli, FailedWriteIsReported) {
    writeFile(path("in.html"), "<p>some text");
    const Outcome o = run({path("in.html"), "/dev/full"});
    EXPECT_EQ(o.exitCode, 4);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.err, lines({"Could not write file /dev/full"}));
}

TEST_F(Cli, FailedReadIsReported) {
    // Opens fine, but reading at offset 0 fails: address 0 is never mapped.
    const Outcome o = run({"/proc/self/mem", path("out.txt")});
    EXPECT_EQ(o.exitCode, 4);
    EXPECT_EQ(o.out, kBanner);
    EXPECT_EQ(o.err, lines({"Could not read file /proc/self/mem"}));
}

TEST_F(Cli, BundledSampleGivesItsStoredText) {
    const std::string sample = std::string(PLAINWRIT_SOURCE_DIR) + "/examples/sample";
    const Outcome o = run({sample + ".html", path("sample.txt")});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    const std::string expected = readFile(sample + ".txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(readFile(path("sample.txt")), expected);
}

// ---- files a user will meet that are not HTML pages -----------------------

constexpr std::size_t kReadLimit = 3145728;

std::string randomBytes(std::size_t size, unsigned lowest, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<unsigned> byte(lowest, 255);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(byte(rng));
    return bytes;
}

// What the program writes is plain text: printable bytes, tabs and CR LF
// line ends, and without its CRs never longer than the input.
void expectPlainText(const std::string& file, std::size_t inputSize) {
    std::size_t lineEnds = 0;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const auto b = static_cast<unsigned char>(file[i]);
        if (b == '\r') {
            ASSERT_TRUE(i + 1 < file.size() && file[i + 1] == '\n') << "lone CR at " << i;
            ++lineEnds;
        } else {
            ASSERT_TRUE(b >= 0x20 || b == '\n' || b == '\t') << "byte " << int(b) << " at " << i;
        }
    }
    EXPECT_LE(file.size() - lineEnds, inputSize);
}

TEST_F(Cli, BinaryFilesGivePlainText) {
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"random bytes", randomBytes(1 << 16, 0, 1)},
        {"random bytes without NUL", randomBytes(1 << 16, 1, 2)},
        {"only NUL bytes", std::string(1 << 16, '\0')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string text = convert(row.bytes);
        expectPlainText(text, row.bytes.size());
        if (row.bytes.find_first_not_of('\0') == std::string::npos) {
            EXPECT_EQ(text, "");
        }
    }
}

// 100 MB files, made sparse so that they cost no disk: only the first
// delivered bytes are read, and memory stays bounded.
TEST_F(Cli, HugeInputIsCutAtTheLimitInBoundedMemory) {
    const struct {
        const char* what;
        std::size_t textBytes;  // 'a' bytes before the hole of NULs
        std::string expected;
    } rows[] = {
        {"all NUL", 0, ""},
        {"4 MiB of text, then NUL", 4 << 20, std::string(kReadLimit, 'a')},
    };
    const std::string input = path("huge.html");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        writeFile(input, std::string(row.textBytes, 'a'));
        ASSERT_EQ(::truncate(input.c_str(), 100000000), 0);
        const Outcome o = run({input, path("out.txt")});
        EXPECT_EQ(o.exitCode, 0);
        EXPECT_EQ(o.out, kBanner + lines({"Successfully converted"}));
        EXPECT_EQ(o.err,
                  lines({"Warning: only the first 3145728 bytes of " + input + " were converted"}));
        EXPECT_TRUE(readFile(path("out.txt")) == row.expected);
        // Under an emulator its own memory is counted too.
        if (envOr("PLAINWRIT_EMULATOR", "").empty()) {
            EXPECT_LT(o.peakKilobytes, 64 * 1024);
        }
    }
}

TEST_F(Cli, DevicesAsInput) {
    const struct {
        const char* device;
        bool endless;
    } rows[] = {{"/dev/null", false}, {"/dev/zero", true}};
    for (const auto& row : rows) {
        const Outcome o = run({row.device, path("out.txt")});
        EXPECT_EQ(o.exitCode, 0) << row.device;
        EXPECT_EQ(o.err, row.endless
                             ? lines({std::string("Warning: only the first 3145728 bytes of ") +
                                      row.device + " were converted"})
                             : "");
        EXPECT_EQ(readFile(path("out.txt")), "") << row.device;
    }
}

TEST_F(Cli, PipeAsInput) {
    const std::string fifo = path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&fifo] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for the program
        if (fd < 0) return;
        const std::string html = "<p>through ";
        ASSERT_EQ(::write(fd, html.data(), html.size()), static_cast<ssize_t>(html.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a second, later read
        ASSERT_EQ(::write(fd, "a pipe", 6), 6);
        ::close(fd);
    });
    const Outcome o = run({fifo, path("out.txt")});
    // Should the program never open the pipe, this releases the writer.
    const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (unblock >= 0) ::close(unblock);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(readFile(path("out.txt")), "\r\nthrough a pipe");
}

TEST_F(Cli, PathsWithBlanksAndNonAsciiBytes) {
    // Windows names are UTF-16 and hold no control bytes: there, only valid
    // UTF-8 names without them are tried.
    const bool windows = testingWindowsProgram();
    const std::string input =
        path(windows ? "my page \xC3\xA9t\xC3\xA9.html" : "my page \xC3\xA9t\xE9.html");
    const std::string output = path(windows ? "out \xC3\xBF .txt" : "out \xFF\x80 \t.txt");
    writeFile(input, "<p>caf&eacute;");
    const Outcome o = run({input, output});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, kBanner + lines({"Successfully converted"}));
    EXPECT_EQ(readFile(output), "\r\ncaf\xE9");
}

TEST_F(Cli, OutputThatCannotBeCreated) {
    writeFile(path("in.html"), "<p>x");
    writeFile(path("file.txt"), "a file, not a directory");
    ASSERT_EQ(::mkdir(path("dir").c_str(), 0700), 0);
    for (const std::string& output : {path("dir"), path("file.txt/out.txt")}) {
        const Outcome o = run({path("in.html"), output});
        EXPECT_EQ(o.exitCode, 3) << output;
        EXPECT_EQ(o.out, kBanner);
        EXPECT_EQ(o.err, lines({"Could not open file " + output}));
    }
    EXPECT_EQ(readFile(path("file.txt")), "a file, not a directory");
}

TEST_F(Cli, ReadOnlyOutputIsLeftUnchanged) {
    writeFile(path("in.html"), "<p>x");
    const std::string output = path("locked.txt");
    writeFile(output, "keep");
    // Root writes through permission bits; an immutable file stops even root.
    const bool root = ::geteuid() == 0;
    const std::string lock =
        root ? "chattr +i '" + output + "' 2>/dev/null" : "chmod a-w '" + output + "'";
    if (std::system(lock.c_str()) != 0) {
        GTEST_SKIP() << "cannot make a file read-only here";
    }
    const Outcome o = run({path("in.html"), output});
    if (root) std::system(("chattr -i '" + output + "'").c_str());
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.err, lines({"Could not open file " + output}));
    EXPECT_EQ(readFile(output), "keep");
}

// ---- names and paths that only the wide interfaces of Windows reach --------

TEST_F(Cli, NamesInAnyScript) {
    const struct {
        const char* what;
        std::string input;
        std::string output;
    } rows[] = {
        {"Cyrillic", "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.html",
         "\xD0\xB2\xD1\x8B\xD1\x85\xD0\xBE\xD0\xB4.txt"},
        {"CJK", "\xE6\x96\x87\xE6\x9B\xB8.html", "\xE5\x87\xBA\xE5\x8A\x9B.txt"},
        {"emoji (beyond 16 bits)", "\xF0\x9F\x98\x80.html", "\xF0\x9F\x93\x9D.txt"},
        {"blanks", "  my  page .html", "out put.txt"},
        {"mixed", "caf\xC3\xA9 \xD1\x82 \xE6\x96\x87 \xF0\x9F\x98\x80.html",
         "r\xC3\xA9sum\xC3\xA9 \xF0\x9F\x93\x9D.txt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        writeFile(path(row.input), "<p>caf&eacute; <b>ok</b>");
        const Outcome o = run({path(row.input), path(row.output)});
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.out, kBanner + lines({"Successfully converted"}));
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(readFile(path(row.output)), "\r\ncaf\xE9 ok");
    }
}

TEST_F(Cli, MessagesNameThePathAsGiven) {
    // Redirected, a Windows program writes the ANSI code page: one "?" for
    // each character it cannot spell. Elsewhere the bytes are passed on.
    const struct {
        const char* what;
        std::string name;
        std::string windowsSpelling;
    } rows[] = {
        {"Cyrillic", "\xD0\xBD\xD0\xB5\xD1\x82.html", "???.html"},
        {"CJK", "\xE6\x97\xA0 \xE6\x96\x87.html", "? ?.html"},
        {"emoji",
         "a\xF0\x9F\x98\x80"
         "b.html",
         "a?b.html"},
        {"ASCII", "missing page.html", "missing page.html"},
    };
    const bool windows = testingWindowsProgram();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Outcome o = run({path(row.name), path("out.txt")});
        EXPECT_EQ(o.exitCode, 3);
        EXPECT_EQ(o.out, kBanner);
        EXPECT_EQ(o.err,
                  lines({"Could not open file " + path(windows ? row.windowsSpelling : row.name)}));
        EXPECT_FALSE(exists(path("out.txt")));
    }
}

// Three folders of 100 characters: every path below is over 300 long,
// beyond the 260 characters that old Windows interfaces allow.
std::string deepFolders() {
    return std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
}

TEST_F(Cli, PathsOverTheOldLengthLimit) {
    const std::string deep = deepFolders();
    const std::string belowFirst = deep.substr(101);
    ASSERT_EQ(std::system(("mkdir -p '" + path(deep) + "'").c_str()), 0);
    const struct {
        const char* what;
        std::string input;
        std::string output;
        std::string workDir;
    } rows[] = {
        {"absolute", path(deep + "/in.html"), path(deep + "/out.txt"), ""},
        {"relative", deep + "/in.html", deep + "/out.txt", dir_},
        // A working folder itself is held to the old limit on Windows.
        {"relative, from a folder below", belowFirst + "/in.html", "./" + belowFirst + "/out.txt",
         path(std::string(100, 'a'))},
        {"long input, short output", path(deep + "/in.html"), path("out.txt"), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_GT(row.workDir.size() + row.input.size(), 300U);
        writeFile(path(deep + "/in.html"), "<p>deep<br>down");
        ::unlink(path(deep + "/out.txt").c_str());
        ::unlink(path("out.txt").c_str());
        const Outcome o = run({row.input, row.output}, row.workDir);
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.out, kBanner + lines({"Successfully converted"}));
        const std::string written =
            row.output[0] == '/' ? row.output
                                 : (row.workDir.empty() ? dir_ : row.workDir) + "/" + row.output;
        EXPECT_EQ(readFile(written), "\r\ndeep\r\ndown");
    }
    // Every full length around the old limits (248 for a folder, 260 for a
    // file), for input and output at once.
    for (std::size_t length = 240; length <= 270; ++length) {
        const std::string folder = path(std::string(100, 'a'));
        const std::size_t nameLength = length - folder.size() - 1;
        const std::string input = folder + "/" + std::string(nameLength - 5, 'i') + ".html";
        const std::string output = folder + "/" + std::string(nameLength - 4, 'o') + ".txt";
        writeFile(input, "<p>edge");
        const Outcome o = run({input, output});
        EXPECT_EQ(o.exitCode, 0) << length << ": " << o.err;
        EXPECT_EQ(readFile(output), "\r\nedge") << length;
    }
    // A long input that does not exist is named in full.
    const std::string missing = path(deep + "/missing.html");
    const Outcome o = run({missing, path("out.txt")});
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(o.err, lines({"Could not open file " + missing}));
}

TEST_F(Cli, SameFileThroughLongPathsAndOtherSpellings) {
    const std::string deep = deepFolders();
    ASSERT_EQ(std::system(("mkdir -p '" + path(deep) + "'").c_str()), 0);
    const std::string input = path(deep + "/same.html");
    const std::string html = "<p>keep me";
    writeFile(input, html);
    std::vector<std::string> outputs = {input, path(deep + "/./same.html"),
                                        path(std::string(100, 'a') + "/../" + deep + "/same.html")};
    if (testingWindowsProgram()) {
        // Windows names ignore case, and "\\" separates as well as "/".
        std::string upper = input;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        outputs.push_back(upper);
        std::string backslashed = input;
        for (char& c : backslashed) c = c == '/' ? '\\' : c;
        outputs.push_back(backslashed);
    }
    for (const std::string& output : outputs) {
        const Outcome o = run({input, output});
        EXPECT_EQ(o.exitCode, 3) << output;
        EXPECT_EQ(o.out, kBanner);
        EXPECT_EQ(o.err, lines({"Could not open file " + output + ": it is the input file"}));
        EXPECT_EQ(readFile(input), html);
    }
    // Through a relative path for the input.
    const Outcome o = run({deep.substr(101) + "/same.html", input}, path(std::string(100, 'a')));
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(readFile(input), html);
}

}  // namespace
