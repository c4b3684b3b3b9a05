// The system calls of the POSIX file and memory services. A build with
// PLAINWRIT_FAULT_SEAM (made only for the tests) sends each through the fault
// seam, which a test sets to make a chosen call fail or come up short; every
// other build calls the system directly, so the shipped program holds no
// trace of the seam. The first argument names the service a call is part of.
#ifndef PLAINWRIT_PLATFORM_CALLS_H
#define PLAINWRIT_PLATFORM_CALLS_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

#if defined(PLAINWRIT_FAULT_SEAM)

#include "fault_seam.h"

#define PLATFORM_OPEN(service, ...) fault_seam::openFile(fault_seam::Service::service, __VA_ARGS__)
#define PLATFORM_FSTAT(service, fd, info) \
    fault_seam::statOpenFile(fault_seam::Service::service, fd, info)
#define PLATFORM_STAT(service, path, info) \
    fault_seam::statPath(fault_seam::Service::service, path, info)
#define PLATFORM_READ(fd, buffer, size) fault_seam::readFile(fd, buffer, size)
#define PLATFORM_WRITE(fd, data, size) fault_seam::writeFile(fd, data, size)
#define PLATFORM_CLOSE(fd) fault_seam::closeFile(fd)
#define PLATFORM_MALLOC(size) fault_seam::allocate(size)

#else

#define PLATFORM_OPEN(service, ...) ::open(__VA_ARGS__)
#define PLATFORM_FSTAT(service, fd, info) ::fstat(fd, info)
#define PLATFORM_STAT(service, path, info) ::stat(path, info)
#define PLATFORM_READ(fd, buffer, size) ::read(fd, buffer, size)
#define PLATFORM_WRITE(fd, data, size) ::write(fd, data, size)
#define PLATFORM_CLOSE(fd) ::close(fd)
#define PLATFORM_MALLOC(size) std::malloc(size)

#endif

#endif
