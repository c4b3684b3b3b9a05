// The public interface in include/plainwrit.h, as a caller sees it: the
// in-memory calls against the plain model in tests/reference, the results
// documented for bad arguments, the status texts and exit codes, the
// file-to-file outcomes, and many threads converting at once. Buffers have
// exactly the size the interface asks for, so a sanitizer build catches a
// byte read or written outside them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plainwrit.h"
#include "reference/plain_rules.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::unique_ptr<char[]>;

// A heap copy of `s` with not one byte more: no terminator after it.
Bytes exactCopy(const std::string& s) {
    Bytes copy(new char[s.size() == 0 ? 1 : s.size()]);
    std::memcpy(copy.get(), s.data(), s.size());
    return copy;
}

std::string viaConvert(const std::string& html) {
    const Bytes in = exactCopy(html);
    Bytes out(new char[html.size() + 1]);
    std::memset(out.get(), 'U', html.size() + 1);
    const std::size_t length = plainwrit_convert(in.get(), html.size(), out.get());
    if (length > html.size()) {
        ADD_FAILURE() << "returned " << length << " for " << html.size() << " bytes";
        return "<error>";
    }
    EXPECT_EQ(out[length], '\0');
    return std::string(out.get(), length);
}

std::string viaStored(const std::string& stored) {
    const Bytes in = exactCopy(stored);
    const std::size_t room = plainwrit_stored_room(stored.size());
    Bytes out(new char[room]);
    std::size_t size = 99;
    const plainwrit_status status =
        plainwrit_convert_stored(in.get(), stored.size(), out.get(), room, &size);
    EXPECT_EQ(status, PLAINWRIT_OK);
    EXPECT_LE(size, room);
    return status == PLAINWRIT_OK ? std::string(out.get(), size) : "<error>";
}

std::string modelOfStored(const std::string& stored) {
    return plain::writeText(plain::filter(plain::readText(stored, stored.size()).delivered));
}

// HTML-ish bytes from the pieces the rules care about, cut anywhere: some
// end in the middle of a tag, a reference or a "digit blank digit" run.
class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    std::string html(std::size_t target) {
        static const char* const kPieces[] = {
            "<p",        "<P>",      "<tr",      "<td>", "<br>", "<hr/>", "</title>", "<script>",
            "</SCRIPT>", "<table",   "</table>", "<",    ">",    "&amp;", "&lt",      "&#160;",
            "&nbsp;",    "&eacute;", "&#255;",   "&",    "1 2",  "3  4",  " ",        "  ",
            "7",         "word",     "\r\n",     "\r",   "\n",   "\t",    "\x1A",     "\xE8"};
        std::string s;
        while (s.size() < target) {
            s += below(6) == 0 ? std::string(1, static_cast<char>(below(256)))
                               : kPieces[below(std::size(kPieces))];
        }
        s.resize(target);
        return s;
    }

    std::size_t below(std::size_t n) { return rng_() % n; }

private:
    std::mt19937 rng_;
};

// ---- in memory, against the plain model ------------------------------------

TEST(Api, ConvertMatchesPlainModel) {
    Generator gen(1);
    for (int i = 0; i < 3000; ++i) {
        const std::size_t size = i % 100 == 0 ? 16380 + gen.below(10) : gen.below(400);
        const std::string html = gen.html(size);
        ASSERT_EQ(viaConvert(html), plain::filter(html)) << "case " << i;
    }
}

// Lengths around the point where a text without a NUL is copied elsewhere,
// and long inputs that take the block loop, each without and with a NUL.
TEST(Api, ConvertOnLongInputsWithAndWithoutNul) {
    Generator gen(2);
    for (std::size_t size : {16383u, 16384u, 16385u, 100000u}) {
        std::string html = gen.html(size);
        for (char& c : html)
            if (c == '\0') c = ' ';
        EXPECT_EQ(viaConvert(html), plain::filter(html)) << size;
        html[size / 2] = '\0';
        EXPECT_EQ(viaConvert(html), plain::filter(html)) << size << " with a NUL";
    }
}

// The byte after the caller's bytes is never taken for the terminator.
TEST(Api, ConvertIgnoresTheByteAfterTheText) {
    const std::string cases[] = {"1 ", "<", "<t", "a 2 ", "&amp", "x<p", "<scrip"};
    for (const std::string& html : cases) {
        for (const char after : {'2', 'p', 'r', ';', ' ', 't'}) {
            const std::string buffer = html + after;
            std::vector<char> out(html.size() + 1);
            const std::size_t n = plainwrit_convert(buffer.data(), html.size(), out.data());
            EXPECT_EQ(std::string(out.data(), n), plain::filter(html))
                << "\"" << html << "\" followed by '" << after << "'";
        }
    }
}

TEST(Api, StoredMatchesPlainModel) {
    Generator gen(3);
    for (int i = 0; i < 2000; ++i) {
        const std::string stored = gen.html(i % 200 == 0 ? 20000 : gen.below(300));
        ASSERT_EQ(viaStored(stored), modelOfStored(stored)) << "case " << i;
    }
    // Every byte a line feed: the written form is the longest it can be.
    EXPECT_EQ(viaStored("<p><p><p>"), "\r\n\r\n\r\n");
    EXPECT_EQ(viaStored(""), "");
}

TEST(Api, StoredGivesTheBundledSample) {
    std::ifstream html(PLAINWRIT_SOURCE_DIR "/examples/sample.html", std::ios::binary);
    std::ifstream text(PLAINWRIT_SOURCE_DIR "/examples/sample.txt", std::ios::binary);
    const std::string page{std::istreambuf_iterator<char>(html), {}};
    const std::string expected{std::istreambuf_iterator<char>(text), {}};
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(viaStored(page), expected);
}

// ---- bad arguments ------------------------------------------------------

TEST(Api, ConvertWithNullPointers) {
    char text[4] = "UUU";
    EXPECT_EQ(plainwrit_convert("abc", 3, nullptr), PLAINWRIT_ERROR);
    EXPECT_EQ(plainwrit_convert(nullptr, 0, text), 0u);
    EXPECT_EQ(text[0], '\0');
    std::memcpy(text, "UUU", 4);
    EXPECT_EQ(plainwrit_convert(nullptr, 3, text), PLAINWRIT_ERROR);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], 'U');
}

TEST(Api, StoredRefusesBadArgumentsAndWritesNothing) {
    const std::string stored = "<p>abc";
    const std::size_t room = plainwrit_stored_room(stored.size());
    std::vector<char> out(room + 1, 'U');
    std::size_t size = 99;
    struct Case {
        const char* what;
        const char* stored;
        std::size_t size;
        char* written;
        std::size_t room;
        std::size_t* writtenSize;
        plainwrit_status expected;
    };
    const Case cases[] = {
        {"null input", nullptr, stored.size(), out.data(), room, &size, PLAINWRIT_INVALID_ARGUMENT},
        {"null output", stored.data(), stored.size(), nullptr, room, &size,
         PLAINWRIT_INVALID_ARGUMENT},
        {"null size", stored.data(), stored.size(), out.data(), room, nullptr,
         PLAINWRIT_INVALID_ARGUMENT},
        {"room one short", stored.data(), stored.size(), out.data(), room - 1, &size,
         PLAINWRIT_ROOM_TOO_SMALL},
        {"no room", stored.data(), stored.size(), out.data(), 0, &size, PLAINWRIT_ROOM_TOO_SMALL},
        {"size past any room", stored.data(), static_cast<std::size_t>(-1), out.data(), room, &size,
         PLAINWRIT_ROOM_TOO_SMALL},
    };
    for (const Case& c : cases) {
        size = 99;
        EXPECT_EQ(plainwrit_convert_stored(c.stored, c.size, c.written, c.room, c.writtenSize),
                  c.expected)
            << c.what;
        if (c.writtenSize != nullptr) {
            EXPECT_EQ(size, 0u) << c.what;
        }
        EXPECT_EQ(std::string(out.begin(), out.end()), std::string(room + 1, 'U')) << c.what;
    }
    EXPECT_EQ(plainwrit_convert_stored(nullptr, 0, out.data(), 2, &size), PLAINWRIT_OK);
    EXPECT_EQ(size, 0u);
}

TEST(Api, StoredRoomIsTwiceAndTwoUnlessItOverflows) {
    EXPECT_EQ(plainwrit_stored_room(0), 2u);
    EXPECT_EQ(plainwrit_stored_room(10), 22u);
    const std::size_t largest = (static_cast<std::size_t>(-1) - 2) / 2;
    EXPECT_EQ(plainwrit_stored_room(largest), 2 * largest + 2);
    EXPECT_EQ(plainwrit_stored_room(largest + 1), 0u);
}

// ---- statuses, lines and exit codes -----------------------------------------

TEST(Api, StatusLinesAndExitCodesAreThePrograms) {
    struct Row {
        plainwrit_status status;
        const char* line;
        int exitCode;
    };
    const Row rows[] = {
        {PLAINWRIT_OK, "Successfully converted", 0},
        {PLAINWRIT_OK_TRUNCATED, "Warning: only the first 3145728 bytes of in.html were converted",
         0},
        {PLAINWRIT_WRONG_ARGUMENTS, "Invalid Number of arguments", 2},
        {PLAINWRIT_CANNOT_OPEN_INPUT, "Could not open file in.html", 3},
        {PLAINWRIT_CANNOT_OPEN_OUTPUT, "Could not open file out.txt", 3},
        {PLAINWRIT_OUTPUT_IS_INPUT, "Could not open file out.txt: it is the input file", 3},
        {PLAINWRIT_CANNOT_READ, "Could not read file in.html", 4},
        {PLAINWRIT_CANNOT_WRITE, "Could not write file out.txt", 4},
        {PLAINWRIT_NO_MEMORY, "Not enough memory to convert in.html", 4},
        {PLAINWRIT_INVALID_ARGUMENT, "Invalid argument", 2},
        {PLAINWRIT_ROOM_TOO_SMALL, "Not enough room for the result", 2},
        {static_cast<plainwrit_status>(99), "Unknown status", 4},
    };
    for (const Row& row : rows) {
        char line[100];
        const std::size_t n = plainwrit_status_line(row.status, "in.html", "out.txt", line, 100);
        EXPECT_EQ(std::string(line), row.line);
        EXPECT_EQ(n, std::strlen(row.line));
        EXPECT_EQ(plainwrit_exit_code(row.status), row.exitCode) << row.line;
        const char* message = plainwrit_status_message(row.status);
        ASSERT_NE(message, nullptr);
        if (row.status != PLAINWRIT_OK_TRUNCATED && row.status != PLAINWRIT_OUTPUT_IS_INPUT) {
            EXPECT_EQ(std::string(row.line).rfind(message, 0), 0u) << message;
        }
    }
}

TEST(Api, StatusLineIsCutLikeSnprintf) {
    char line[8];
    std::memset(line, 'U', sizeof line);
    EXPECT_EQ(plainwrit_status_line(PLAINWRIT_CANNOT_READ, "x", "y", line, 5), 21u);
    EXPECT_EQ(std::string(line), "Coul");
    EXPECT_EQ(line[5], 'U');
    EXPECT_EQ(plainwrit_status_line(PLAINWRIT_CANNOT_READ, "x", "y", nullptr, 0), 21u);
    EXPECT_EQ(plainwrit_status_line(PLAINWRIT_CANNOT_READ, nullptr, "y", line, 8), 20u);
}

TEST(Api, VersionAgreesWithTheBuild) {
    EXPECT_STREQ(plainwrit_version(), PLAINWRIT_PROJECT_VERSION);
    EXPECT_STREQ(PLAINWRIT_VERSION_STRING, PLAINWRIT_PROJECT_VERSION);
    EXPECT_EQ(
        std::to_string(PLAINWRIT_VERSION_MAJOR) + "." + std::to_string(PLAINWRIT_VERSION_MINOR),
        PLAINWRIT_PROJECT_VERSION);
}

// ---- file to file --------------------------------------------------------

class ApiFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("plainwrit_api_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    static void write(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir_;
};

TEST_F(ApiFile, ConvertsAsTheStoredCallDoes) {
    const std::string page = "<title>T</title>\r\n<p>1 000 &eacute;<td>x\x1Arest";
    write(path("in.html"), page);
    int truncated = 7;
    EXPECT_EQ(plainwrit_convert_file(path("in.html").c_str(), path("out.txt").c_str(), &truncated),
              PLAINWRIT_OK);
    EXPECT_EQ(truncated, 0);
    EXPECT_EQ(read(path("out.txt")), viaStored(page));
}

TEST_F(ApiFile, FailuresGiveTheirStatus) {
    write(path("in.html"), "<p>x");
    fs::create_directory(path("dir"));
    const std::string in = path("in.html");
    struct Case {
        const char* what;
        std::string input;
        std::string output;
        plainwrit_status expected;
    };
    const Case cases[] = {
        {"missing input", path("missing.html"), path("out.txt"), PLAINWRIT_CANNOT_OPEN_INPUT},
        {"directory as input", path("dir"), path("out.txt"), PLAINWRIT_CANNOT_OPEN_INPUT},
        {"output in a missing directory", in, path("none/out.txt"), PLAINWRIT_CANNOT_OPEN_OUTPUT},
        {"output is a directory", in, path("dir"), PLAINWRIT_CANNOT_OPEN_OUTPUT},
        {"same file", in, in, PLAINWRIT_OUTPUT_IS_INPUT},
        {"same file by another name", in, path("dir/../in.html"), PLAINWRIT_OUTPUT_IS_INPUT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plainwrit_convert_file(c.input.c_str(), c.output.c_str(), nullptr), c.expected)
            << c.what;
    }
    EXPECT_EQ(read(in), "<p>x") << "the input was touched";
    EXPECT_FALSE(fs::exists(path("out.txt"))) << "an output was made before a failure";
    EXPECT_EQ(plainwrit_convert_file(nullptr, "out.txt", nullptr), PLAINWRIT_INVALID_ARGUMENT);
    EXPECT_EQ(plainwrit_convert_file(in.c_str(), nullptr, nullptr), PLAINWRIT_INVALID_ARGUMENT);
#if defined(__linux__)
    EXPECT_EQ(plainwrit_convert_file(in.c_str(), "/dev/full", nullptr), PLAINWRIT_CANNOT_WRITE);
#endif
}

TEST_F(ApiFile, InputOverTheLimitIsCutAndSaysSo) {
    std::string page(PLAINWRIT_READ_LIMIT, 'a');
    write(path("at.html"), page);
    int truncated = 7;
    EXPECT_EQ(plainwrit_convert_file(path("at.html").c_str(), path("at.txt").c_str(), &truncated),
              PLAINWRIT_OK);
    EXPECT_EQ(truncated, 0);
    write(path("over.html"), page + "bc");
    EXPECT_EQ(
        plainwrit_convert_file(path("over.html").c_str(), path("over.txt").c_str(), &truncated),
        PLAINWRIT_OK_TRUNCATED);
    EXPECT_EQ(truncated, 1);
    EXPECT_EQ(read(path("over.txt")), page);
#if defined(__linux__)
    EXPECT_EQ(plainwrit_convert_file(path("over.html").c_str(), "/dev/full", &truncated),
              PLAINWRIT_CANNOT_WRITE);
    EXPECT_EQ(truncated, 1) << "the warning goes before the failure";
#endif
}

// ---- threads --------------------------------------------------------------

// Threads convert different pages at once, in memory and by file; each must
// get what one thread alone gets. Run under ThreadSanitizer by its preset.
TEST_F(ApiFile, ManyThreadsAtOnce) {
    constexpr int kThreads = 4;
    Generator gen(4);
    std::vector<std::string> pages;
    std::vector<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        pages.push_back(gen.html(t % 2 == 0 ? 3000 : 40000));
        expected.push_back(modelOfStored(pages.back()));
        write(path(("in" + std::to_string(t)).c_str()), pages.back());
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string in = path(("in" + std::to_string(t)).c_str());
            const std::string out = path(("out" + std::to_string(t)).c_str());
            for (int round = 0; round < 20; ++round) {
                std::vector<char> written(plainwrit_stored_room(pages[t].size()));
                std::size_t size = 0;
                if (plainwrit_convert_stored(pages[t].data(), pages[t].size(), written.data(),
                                             written.size(), &size) != PLAINWRIT_OK ||
                    std::string(written.data(), size) != expected[t]) {
                    ++wrong;
                }
                if (round % 5 == 0 &&
                    (plainwrit_convert_file(in.c_str(), out.c_str(), nullptr) != PLAINWRIT_OK ||
                     read(out) != expected[t])) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
