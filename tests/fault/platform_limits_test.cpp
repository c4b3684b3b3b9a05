// Requests larger than the platform layer hands to one read or write call
// (1 GiB): split, with nothing lost. The memory is mapped but never touched,
// so these cost neither memory nor time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform_file.h"
#include "run_program.h"

namespace {

constexpr std::size_t kOverOneCall = (std::size_t{1} << 30) + 4096;

struct Mapping {
    void* start = ::mmap(nullptr, kOverOneCall, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ~Mapping() {
        if (start != MAP_FAILED) ::munmap(start, kOverOneCall);
    }
    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
};

TEST(PlatformLimits, ReadIntoMoreThanOneCallTakesWhatTheFileHas) {
    const run_program::ScratchDir dir;
    run_program::writeFile(dir / "small", "eleven byte");
    const Mapping buffer;
    ASSERT_NE(buffer.start, MAP_FAILED);
    FileHandle file = openInputFile((dir / "small").c_str());
    ASSERT_NE(file, kNoFile);
    EXPECT_EQ(readFileBytes(&file, static_cast<char*>(buffer.start), kOverOneCall), 11);
    EXPECT_EQ(std::string(static_cast<char*>(buffer.start), 11), "eleven byte");
    EXPECT_TRUE(closeFile(file));
}

TEST(PlatformLimits, WriteOfMoreThanOneCallIsSplit) {
    const Mapping data;
    ASSERT_NE(data.start, MAP_FAILED);
    FileHandle sink = openOutputFile("/dev/null");
    ASSERT_NE(sink, kNoFile);
    EXPECT_TRUE(writeFileBytes(&sink, static_cast<const char*>(data.start), kOverOneCall));
    EXPECT_TRUE(closeFile(sink));
}

}  // namespace
