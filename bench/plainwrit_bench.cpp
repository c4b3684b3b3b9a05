// plainwrit_bench: bytes per second of the filter with its decoding, the
// decoder alone, the text-mode read and write translations, and memcpy of the
// same buffer as the reference, on every input of bench_inputs.h.
//
//   plainwrit_bench [Google Benchmark flags]
//   plainwrit_bench --write-page=FILE   writes the realistic 3 MiB page and exits
//   plainwrit_bench --write-page=FILE --page-bytes=N   the same page made N bytes long
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_inputs.h"
#include "entities.h"
#include "markup_filter.h"
#include "text_mode.h"

namespace {

constexpr std::size_t kPageSize = 3145728;         // the program's read limit
constexpr std::size_t kSmallSize = kPageSize / 8;  // against it: linear or not

// A heap buffer that the benchmark owns; its pages are touched once before
// timing starts so that first-touch faults are not measured.
std::unique_ptr<char[]> warmBuffer(std::size_t size) {
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), 0, size);
    return buffer;
}

void reportBytes(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

void benchFilter(benchmark::State& state, const std::string* text) {
    const std::size_t size = text->size();
    auto output = warmBuffer(size + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(filterMarkup(text->c_str(), size, output.get()));
        benchmark::ClobberMemory();
    }
    reportBytes(state, size);
}

// The filter with one named way of taking the input (see BlockPath).
void benchFilterPath(benchmark::State& state, BlockPath path, const std::string* text) {
    const std::size_t size = text->size();
    auto output = warmBuffer(size + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(filterMarkupUsing(path, text->c_str(), size, output.get()));
        benchmark::ClobberMemory();
    }
    reportBytes(state, size);
}

// The decoder rewrites its text, so every round starts from a fresh copy,
// made outside the timed part.
void benchDecoder(benchmark::State& state, const std::string* text) {
    const std::size_t size = text->size();
    auto work = warmBuffer(size + 1);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.get(), text->c_str(), size + 1);
        state.ResumeTiming();
        benchmark::DoNotOptimize(decodeEntities(work.get(), size));
        benchmark::ClobberMemory();
    }
    reportBytes(state, size);
}

// An in-memory file: each request is served like a read(2) of a cached file.
struct MemorySource {
    const std::string* raw;
    std::size_t pos;
};

std::ptrdiff_t readMemory(void* source, char* buffer, std::size_t capacity) {
    auto& s = *static_cast<MemorySource*>(source);
    const std::size_t n = std::min(capacity, s.raw->size() - s.pos);
    std::memcpy(buffer, s.raw->data() + s.pos, n);
    s.pos += n;
    return static_cast<std::ptrdiff_t>(n);
}

void benchReadTextMode(benchmark::State& state, const std::string* raw) {
    auto buffer = warmBuffer(kPageSize + 1);
    for (auto _ : state) {
        MemorySource source{raw, 0};
        benchmark::DoNotOptimize(readTextMode(readMemory, &source, buffer.get(), kPageSize));
        benchmark::ClobberMemory();
    }
    reportBytes(state, raw->size());
}

bool discard(void* sink, const char* data, std::size_t size) {
    benchmark::DoNotOptimize(data);
    *static_cast<std::size_t*>(sink) += size;
    return true;
}

// With the scratch buffer the program gives it: the input buffer.
void benchWriteTextMode(benchmark::State& state, const std::string* text) {
    auto scratch = warmBuffer(kPageSize + 1);
    for (auto _ : state) {
        std::size_t written = 0;
        benchmark::DoNotOptimize(writeTextMode(discard, &written, text->data(), text->size(),
                                               scratch.get(), kPageSize + 1));
        benchmark::DoNotOptimize(written);
    }
    reportBytes(state, text->size());
}

void benchMemcpy(benchmark::State& state, const std::string* text) {
    const std::size_t size = text->size();
    auto copy = warmBuffer(size);
    for (auto _ : state) {
        std::memcpy(copy.get(), text->data(), size);
        benchmark::ClobberMemory();
    }
    reportBytes(state, size);
}

bool writePage(const char* path, std::size_t size) {
    const std::string page = realisticPage(size);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
    return std::fclose(file) == 0 && written;
}

// The inputs live for the whole run: the benchmarks keep pointers to them.
std::vector<BenchInput>& inputs() {
    static std::vector<BenchInput> all = benchInputs(kPageSize);
    return all;
}

std::vector<BenchInput>& smallInputs() {
    static std::vector<BenchInput> all = benchInputs(kSmallSize);
    return all;
}

void registerAll() {
    for (const BenchInput& input : inputs()) {
        const std::string* bytes = &input.bytes;
        benchmark::RegisterBenchmark(("memcpy/" + input.name).c_str(), benchMemcpy, bytes);
        benchmark::RegisterBenchmark(("filter/" + input.name).c_str(), benchFilter, bytes);
        benchmark::RegisterBenchmark(("decode/" + input.name).c_str(), benchDecoder, bytes);
        benchmark::RegisterBenchmark(("read/" + input.name).c_str(), benchReadTextMode, bytes);
        benchmark::RegisterBenchmark(("write/" + input.name).c_str(), benchWriteTextMode, bytes);
    }
    // The realistic page through each way of taking the input that this
    // processor has: what each instruction set brings.
    const std::pair<BlockPath, const char*> paths[] = {
        {BlockPath::kScalar, "scalar"},
        {BlockPath::kPortable, "portable"},
        {BlockPath::kSse2, "sse2"},
        {BlockPath::kSsse3, "ssse3"},
        {BlockPath::kAvx2, "avx2"},
        {BlockPath::kAvx512, "avx512"},
        {BlockPath::kAvx512Compress, "avx512_compress"}};
    for (const auto& [path, name] : paths) {
        if (!blockPathAvailable(path)) continue;
        benchmark::RegisterBenchmark((std::string("filter_path/") + name + "/page").c_str(),
                                     benchFilterPath, path, &inputs().front().bytes);
    }
    // The same inputs at an eighth of the size: equal throughput means the
    // time grows linearly with the input.
    for (const BenchInput& input : smallInputs()) {
        benchmark::RegisterBenchmark(("filter_384k/" + input.name).c_str(), benchFilter,
                                     &input.bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string writeFlag = "--write-page=";
    const std::string sizeFlag = "--page-bytes=";
    const char* pagePath = nullptr;
    std::size_t pageBytes = kPageSize;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], writeFlag.c_str(), writeFlag.size()) == 0) {
            pagePath = argv[i] + writeFlag.size();
        } else if (std::strncmp(argv[i], sizeFlag.c_str(), sizeFlag.size()) == 0) {
            pageBytes = std::strtoul(argv[i] + sizeFlag.size(), nullptr, 10);
        }
    }
    if (pagePath != nullptr) {
        if (writePage(pagePath, pageBytes)) return 0;
        std::fprintf(stderr, "Could not write %s\n", pagePath);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
