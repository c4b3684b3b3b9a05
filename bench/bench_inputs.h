// The inputs the benchmark runs on: a realistic page made by our own seeded
// generator (the same bytes on every platform and every run) and the
// adversarial inputs that would expose a slow path or a worse than linear one.
#ifndef PLAINWRIT_BENCH_INPUTS_H
#define PLAINWRIT_BENCH_INPUTS_H

#include <cstddef>
#include <string>
#include <vector>

struct BenchInput {
    std::string name;   // short, used in benchmark names
    std::string bytes;  // exactly the requested size, no NUL inside
};

// A page of paragraphs, nested tags with attributes, a table, scripts and
// styles, about one character reference per 300 bytes and numbers written
// with blanks; LF line ends, or CR LF when `crlf` is set.
std::string realisticPage(std::size_t size, bool crlf = false);

// The realistic page (LF and CR LF) followed by every adversarial input,
// each `size` bytes long.
std::vector<BenchInput> benchInputs(std::size_t size);

#endif
