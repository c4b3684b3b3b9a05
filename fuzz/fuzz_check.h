// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer then saves the input that caused it), and the text of an input
// up to its first NUL, the part every unit is specified to look at.
#ifndef PLAINWRIT_FUZZ_CHECK_H
#define PLAINWRIT_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline std::string textOf(const std::uint8_t* data, std::size_t size) {
    const void* nul = std::memchr(data, 0, size);
    const std::size_t n =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), n);
}

#endif
