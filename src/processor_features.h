// What the processor running the program, with its system, lets the filter's
// vector ways use. Read once, on first use: from the C library's own survey,
// made at start-up, where it offers one (glibc on Linux), and otherwise from
// the processor itself, with only the few questions these ways ask, each of
// which is slow in a virtual machine.
#ifndef PLAINWRIT_PROCESSOR_FEATURES_H
#define PLAINWRIT_PROCESSOR_FEATURES_H

struct ProcessorFeatures {
    bool sse2;
    bool ssse3;
    bool popcnt;
    bool bmi;
    bool bmi2;
    bool avx2;  // the AVX and AVX-512 ones only where the system saves their registers
    bool avx512f;
    bool avx512bw;
    bool avx512vbmi2;
};

// All false where the build has no way of asking (only x86 builds ask).
const ProcessorFeatures& processorFeatures();

#endif
