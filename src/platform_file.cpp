// File and memory services for POSIX systems and for Windows.
#include "platform_file.h"

#include <cstdlib>

#if defined(_WIN32)

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>

namespace {

HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle fromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Largest single request: ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t kMaxRequest = std::size_t{1} << 30;

// Full paths from this length on may hit the old limit of 260 characters
// (a directory's own path is held to 248, room for an 8.3 file name).
constexpr DWORD kOldPathLimit = MAX_PATH - 12;

bool startsWith(const wchar_t* text, const wchar_t* prefix) {
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// Calls `use` with a path the system takes whatever its length. A long path
// becomes the "\\?\" form of its full path, which every version from
// Windows 7 on opens without the old limit. That form is taken literally
// ("." and "..", "/" and trailing blanks are not cleaned up), so it is made
// from the full path, which is. Short paths and paths already in a device
// form are passed on as given.
template <typename Use>
auto withUnlimitedPath(const wchar_t* path, Use use) -> decltype(use(path)) {
    if (startsWith(path, L"\\\\?\\") || startsWith(path, L"\\\\.\\")) return use(path);
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);  // with the terminator
    if (needed == 0 || needed <= kOldPathLimit) return use(path);
    // Room in front for "\\?\UNC", which replaces the first "\" of a network path.
    constexpr DWORD kPrefixRoom = 6;
    auto* const buffer =
        static_cast<wchar_t*>(std::malloc((kPrefixRoom + needed) * sizeof(wchar_t)));
    if (buffer == nullptr) return use(path);
    wchar_t* const full = buffer + kPrefixRoom;
    const DWORD length = GetFullPathNameW(path, needed, full, nullptr);
    const wchar_t* form = path;
    if (length > 0 && length < needed) {
        if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) {
            form = full;
        } else if (startsWith(full, L"\\\\")) {
            std::wmemcpy(buffer, L"\\\\?\\UNC", 7);  // keeps the second "\"
            form = buffer;
        } else {
            std::wmemcpy(full - 4, L"\\\\?\\", 4);
            form = full - 4;
        }
    }
    auto result = use(form);
    std::free(buffer);
    return result;
}

}  // namespace

// Files are shared for reading, writing and deleting: the program locks
// nothing, and its own same-file check opens the input a second time.

FileHandle openInputFile(const wchar_t* path) {
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open (access
    // denied); the attribute check below covers any system that opens it.
    HANDLE handle = withUnlimitedPath(path, [](const wchar_t* form) {
        return CreateFileW(form, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    });
    if (handle == INVALID_HANDLE_VALUE) return kNoFile;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        return kNoFile;
    }
    return fromHandle(handle);
}

// Volume serial number and file index name a file whatever path, case or
// link leads to it. Devices such as NUL have no index: never the same file.
bool isSameFile(FileHandle input, const wchar_t* path) {
    HANDLE other = withUnlimitedPath(path, [](const wchar_t* form) {
        return CreateFileW(form, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    });
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    const bool same = GetFileInformationByHandle(toHandle(input), &a) &&
                      GetFileInformationByHandle(other, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
}

FileHandle openOutputFile(const wchar_t* path) {
    return fromHandle(withUnlimitedPath(path, [](const wchar_t* form) {
        return CreateFileW(form, GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }));
}

std::ptrdiff_t readFileBytes(void* file, char* buffer, std::size_t capacity) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(capacity < kMaxRequest ? capacity : kMaxRequest);
    if (!ReadFile(toHandle(*static_cast<FileHandle*>(file)), buffer, want, &got, nullptr)) {
        // A pipe whose writer has gone is simply at its end.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<std::ptrdiff_t>(got);
}

bool writeFileBytes(void* file, const char* data, std::size_t size) {
    HANDLE handle = toHandle(*static_cast<FileHandle*>(file));
    while (size > 0) {
        DWORD done = 0;
        const DWORD want = static_cast<DWORD>(size < kMaxRequest ? size : kMaxRequest);
        // A full disk fails the call (ERROR_DISK_FULL) or writes short.
        if (!WriteFile(handle, data, want, &done, nullptr) || done == 0) return false;
        data += done;
        size -= done;
    }
    return true;
}

bool closeFile(FileHandle file) { return CloseHandle(toHandle(file)) != 0; }

char* obtainBuffer(std::size_t size) { return static_cast<char*>(std::malloc(size)); }

void releaseBuffer(char* buffer) { std::free(buffer); }

#else  // POSIX

#include <cerrno>
#include <climits>

#include "platform_calls.h"

namespace {

int toDescriptor(FileHandle file) { return static_cast<int>(file); }

// Keeps each request within what read and write accept in one call.
constexpr std::size_t kMaxRequest = std::size_t{1} << 30;

}  // namespace

FileHandle openInputFile(const char* path) {
    int fd;
    do {
        fd = PLATFORM_OPEN(kOpenInput, path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kNoFile;
    struct stat info;
    if (PLATFORM_FSTAT(kCheckInput, fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        PLATFORM_CLOSE(fd);
        return kNoFile;
    }
    return fd;
}

bool isSameFile(FileHandle input, const char* path) {
    struct stat in;
    struct stat out;
    if (PLATFORM_FSTAT(kSameFile, toDescriptor(input), &in) != 0 ||
        PLATFORM_STAT(kSameFile, path, &out) != 0)
        return false;
    return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

FileHandle openOutputFile(const char* path) {
    int fd;
    do {
        fd = PLATFORM_OPEN(kOpenOutput, path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kNoFile : fd;
}

std::ptrdiff_t readFileBytes(void* file, char* buffer, std::size_t capacity) {
    const int fd = toDescriptor(*static_cast<FileHandle*>(file));
    const std::size_t want = capacity < kMaxRequest ? capacity : kMaxRequest;
    for (;;) {
        const ssize_t got = PLATFORM_READ(fd, buffer, want);
        if (got >= 0) return static_cast<std::ptrdiff_t>(got);
        if (errno != EINTR) return -1;
    }
}

bool writeFileBytes(void* file, const char* data, std::size_t size) {
    const int fd = toDescriptor(*static_cast<FileHandle*>(file));
    while (size > 0) {
        const ssize_t done = PLATFORM_WRITE(fd, data, size < kMaxRequest ? size : kMaxRequest);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool closeFile(FileHandle file) {
    // After an interrupted close the descriptor is gone on Linux: do not retry.
    return PLATFORM_CLOSE(toDescriptor(file)) == 0 || errno == EINTR;
}

char* obtainBuffer(std::size_t size) { return static_cast<char*>(PLATFORM_MALLOC(size)); }

void releaseBuffer(char* buffer) { std::free(buffer); }

#endif
