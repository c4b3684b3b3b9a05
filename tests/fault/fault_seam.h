// The fault seam: stand-ins for the system calls of the platform layer,
// linked only into the test build of the program (plainwrit_faulty).
//
// PLAINWRIT_FAULT="<service> <kind> <n>" makes the n-th call (from 1) of one
// service fail or come up short; every other call is passed to the system.
// Each fault that is injected appends a line to the file named by
// PLAINWRIT_FAULT_LOG, so a test knows when n has gone past the last call.
//   services: open-input check-input same-file open-output buffer read
//             write close
//   kinds:    error      the call fails (for close: after closing)
//             eintr      the call is interrupted (for close: after closing)
//             short      read or write of half the bytes asked for (at least 1)
//             zero       a write of no bytes
#ifndef PLAINWRIT_FAULT_SEAM_H
#define PLAINWRIT_FAULT_SEAM_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace fault_seam {

enum class Service {
    kOpenInput,
    kCheckInput,
    kSameFile,
    kOpenOutput,
    kBuffer,
    kRead,
    kWrite,
    kClose,
};

int openFile(Service service, const char* path, int flags, mode_t mode = 0);
int statOpenFile(Service service, int fd, struct stat* info);
int statPath(Service service, const char* path, struct stat* info);
ssize_t readFile(int fd, void* buffer, std::size_t size);
ssize_t writeFile(int fd, const void* data, std::size_t size);
int closeFile(int fd);
void* allocate(std::size_t size);

}  // namespace fault_seam

#endif
