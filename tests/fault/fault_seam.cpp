// The fault seam's stand-ins: each counts its call, and the chosen one
// fails or comes up short as PLAINWRIT_FAULT says (see fault_seam.h).
#include "fault_seam.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fault_seam {
namespace {

enum class Kind { kNone, kError, kInterrupt, kShort, kZero };

constexpr const char* kServiceNames[] = {"open-input", "check-input", "same-file", "open-output",
                                         "buffer",     "read",        "write",     "close"};
constexpr const char* kKindNames[] = {"none", "error", "eintr", "short", "zero"};
constexpr int kServiceCount = sizeof kServiceNames / sizeof kServiceNames[0];
constexpr int kKindCount = sizeof kKindNames / sizeof kKindNames[0];

struct Plan {
    int service = -1;
    Kind kind = Kind::kNone;
    long call = 0;
    long calls[kServiceCount] = {};
};

// A setting the seam cannot follow is a broken test: stop at once.
[[noreturn]] void badSetting(const char* setting) {
    std::fprintf(stderr, "fault seam: cannot follow PLAINWRIT_FAULT=\"%s\"\n", setting);
    std::_Exit(125);
}

int indexOf(const char* const* names, int count, const char* name) {
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(names[i], name) == 0) return i;
    }
    return -1;
}

Plan readPlan() {
    Plan plan;
    const char* setting = std::getenv("PLAINWRIT_FAULT");
    if (setting == nullptr || *setting == '\0') return plan;
    char service[32];
    char kind[32];
    long call = 0;
    if (std::sscanf(setting, "%31s %31s %ld", service, kind, &call) != 3 || call < 1) {
        badSetting(setting);
    }
    plan.service = indexOf(kServiceNames, kServiceCount, service);
    const int kindIndex = indexOf(kKindNames, kKindCount, kind);
    if (plan.service < 0 || kindIndex <= 0) badSetting(setting);
    plan.kind = static_cast<Kind>(kindIndex);
    plan.call = call;
    return plan;
}

Plan& plan() {
    static Plan thePlan = readPlan();
    return thePlan;
}

void record(Service service, Kind kind, long call) {
    const char* log = std::getenv("PLAINWRIT_FAULT_LOG");
    if (log == nullptr) return;
    char line[96];
    const int length =
        std::snprintf(line, sizeof line, "%s %s %ld\n", kServiceNames[static_cast<int>(service)],
                      kKindNames[static_cast<int>(kind)], call);
    const int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    (void)::write(fd, line, static_cast<std::size_t>(length));
    ::close(fd);
}

// Counts this call of `service`; the planned kind when it is the chosen one
// (the fault is then recorded as injected), else kNone.
Kind strike(Service service) {
    Plan& p = plan();
    const int index = static_cast<int>(service);
    const long call = ++p.calls[index];
    if (index != p.service || call != p.call) return Kind::kNone;
    record(service, p.kind, call);
    return p.kind;
}

template <typename T>
T failWith(int error, T result) {
    errno = error;
    return result;
}

std::size_t half(std::size_t size) { return size > 1 ? size / 2 : size; }

}  // namespace

int openFile(Service service, const char* path, int flags, mode_t mode) {
    switch (strike(service)) {
        case Kind::kError: return failWith(EACCES, -1);
        case Kind::kInterrupt: return failWith(EINTR, -1);
        default: return ::open(path, flags, mode);
    }
}

int statOpenFile(Service service, int fd, struct stat* info) {
    if (strike(service) == Kind::kError) return failWith(EIO, -1);
    return ::fstat(fd, info);
}

int statPath(Service service, const char* path, struct stat* info) {
    if (strike(service) == Kind::kError) return failWith(EIO, -1);
    return ::stat(path, info);
}

ssize_t readFile(int fd, void* buffer, std::size_t size) {
    switch (strike(Service::kRead)) {
        case Kind::kError: return failWith<ssize_t>(EIO, -1);
        case Kind::kInterrupt: return failWith<ssize_t>(EINTR, -1);
        case Kind::kShort: return ::read(fd, buffer, half(size));
        default: return ::read(fd, buffer, size);
    }
}

ssize_t writeFile(int fd, const void* data, std::size_t size) {
    switch (strike(Service::kWrite)) {
        case Kind::kError: return failWith<ssize_t>(ENOSPC, -1);
        case Kind::kInterrupt: return failWith<ssize_t>(EINTR, -1);
        case Kind::kShort: return ::write(fd, data, half(size));
        case Kind::kZero: return 0;
        default: return ::write(fd, data, size);
    }
}

int closeFile(int fd) {
    const Kind kind = strike(Service::kClose);
    const int closed = ::close(fd);
    if (kind == Kind::kError) return failWith(EIO, -1);
    if (kind == Kind::kInterrupt) return failWith(EINTR, -1);
    return closed;
}

void* allocate(std::size_t size) {
    if (strike(Service::kBuffer) == Kind::kError) return failWith<void*>(ENOMEM, nullptr);
    return std::malloc(size);
}

}  // namespace fault_seam
