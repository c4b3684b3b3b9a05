// Files per second through the library, for bench/library.sh:
//   library_files write <dir> <n>    writes n generated 10 KB pages
//   library_files file <dir> <n>     converts them with plainwrit_convert_file
//   library_files memory <dir> <n>   converts them in memory with plainwrit_convert,
//                                    beside memcpy of the same bytes
// Each timing prints "<what> <files per second>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "plainwrit.h"

namespace {

constexpr std::size_t kPageSize = 10240;

using Clock = std::chrono::steady_clock;

std::string pagePath(const std::string& dir, int i) {
    return dir + "/page" + std::to_string(i) + ".html";
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void report(const char* what, double files, double elapsed) {
    std::printf("%s %.0f\n", what, files / elapsed);
}

int convertFiles(const std::string& dir, int n) {
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        const std::string out = dir + "/page" + std::to_string(i) + ".txt";
        if (plainwrit_exit_code(
                plainwrit_convert_file(pagePath(dir, i).c_str(), out.c_str(), nullptr)) != 0) {
            return 1;
        }
    }
    report("file", n, seconds(start));
    return 0;
}

// Every page converted over and over for at least half a second.
int convertInMemory(const std::string& dir, int n) {
    std::vector<std::string> pages;
    for (int i = 0; i < n; ++i) {
        std::ifstream in(pagePath(dir, i), std::ios::binary);
        pages.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<char> text(kPageSize * 2);
    std::size_t check = 0;
    long files = 0;
    auto start = Clock::now();
    while (seconds(start) < 0.5) {
        for (const std::string& page : pages) {
            check += plainwrit_convert(page.data(), page.size(), text.data());
        }
        files += n;
    }
    report("memory", static_cast<double>(files), seconds(start));
    files = 0;
    start = Clock::now();
    while (seconds(start) < 0.5) {
        for (const std::string& page : pages) {
            std::memcpy(text.data(), page.data(), page.size());
            check += static_cast<unsigned char>(text[page.size() / 2]);
        }
        files += n;
    }
    report("memcpy", static_cast<double>(files), seconds(start));
    return check == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: library_files write|file|memory <dir> <n>\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string dir = argv[2];
    const int n = std::atoi(argv[3]);
    if (mode == "write") {
        const std::string page = realisticPage(kPageSize);
        for (int i = 0; i < n; ++i) std::ofstream(pagePath(dir, i), std::ios::binary) << page;
        return 0;
    }
    if (mode == "file") return convertFiles(dir, n);
    if (mode == "memory") return convertInMemory(dir, n);
    return 2;
}
