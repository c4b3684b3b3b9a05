#include "processor_features.h"

#if defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__)) && \
    defined(__linux__) && __has_include(<sys/platform/x86.h>)

// The C library has asked the processor all of this before the program
// started; its answers cost no further questions, which take microseconds
// each in a virtual machine. "Active" takes in what the system saves. (The
// library's header declares them with C's _Bool, which only GCC takes in
// C++.)
#include <sys/platform/x86.h>

namespace {

ProcessorFeatures askTheLibrary() {
    ProcessorFeatures f{};
    f.sse2 = CPU_FEATURE_ACTIVE(SSE2);
    f.ssse3 = CPU_FEATURE_ACTIVE(SSSE3);
    f.popcnt = CPU_FEATURE_ACTIVE(POPCNT);
    f.bmi = CPU_FEATURE_ACTIVE(BMI1);
    f.bmi2 = CPU_FEATURE_ACTIVE(BMI2);
    f.avx2 = CPU_FEATURE_ACTIVE(AVX2);
    f.avx512f = CPU_FEATURE_ACTIVE(AVX512F);
    f.avx512bw = CPU_FEATURE_ACTIVE(AVX512BW);
    f.avx512vbmi2 = CPU_FEATURE_ACTIVE(AVX512_VBMI2);
    return f;
}

}  // namespace

const ProcessorFeatures& processorFeatures() {
    // GCOVR_EXCL_BR_START: only a thread that meets another one's first read waits
    static const ProcessorFeatures features = askTheLibrary();
    // GCOVR_EXCL_BR_STOP
    return features;
}

#elif defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <cpuid.h>

#include <cstdint>

namespace {

bool bit(unsigned word, unsigned n) { return ((word >> n) & 1U) != 0; }

// The register state the system saves and restores (XCR0).
std::uint64_t savedRegisterState() {
    unsigned low = 0;
    unsigned high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (std::uint64_t{high} << 32) | low;
}

constexpr std::uint64_t kWideRegisters = 0x6;     // the SSE and AVX halves
constexpr std::uint64_t kWidestRegisters = 0xE6;  // those, the masks and the AVX-512 halves

// GCOVR_EXCL_BR_START: each answer depends on the processor, and the tests
// run on one
ProcessorFeatures readFeatures() {
    ProcessorFeatures f{};
    const unsigned maxLeaf = __get_cpuid_max(0, nullptr);
    if (maxLeaf < 1) return f;
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    __cpuid(1, a, b, c, d);
    f.sse2 = bit(d, 26);
    f.ssse3 = bit(c, 9);
    f.popcnt = bit(c, 23);
    const bool systemSaves = bit(c, 27);
    const bool avx = bit(c, 28);
    if (maxLeaf < 7) return f;
    const std::uint64_t state = systemSaves ? savedRegisterState() : 0;
    const bool wide = avx && (state & kWideRegisters) == kWideRegisters;
    const bool widest = wide && (state & kWidestRegisters) == kWidestRegisters;
    __cpuid_count(7, 0, a, b, c, d);
    f.bmi = bit(b, 3);
    f.bmi2 = bit(b, 8);
    f.avx2 = wide && bit(b, 5);
    f.avx512f = widest && bit(b, 16);
    f.avx512bw = widest && bit(b, 30);
    f.avx512vbmi2 = widest && bit(c, 6);
    return f;
}
// GCOVR_EXCL_BR_STOP

}  // namespace

const ProcessorFeatures& processorFeatures() {
    // GCOVR_EXCL_BR_START: only a thread that meets another one's first read waits
    static const ProcessorFeatures features = readFeatures();
    // GCOVR_EXCL_BR_STOP
    return features;
}

#else

const ProcessorFeatures& processorFeatures() {
    static const ProcessorFeatures none{};
    return none;
}

#endif
