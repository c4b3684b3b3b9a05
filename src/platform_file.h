// The program's only contact with the operating system's files and memory:
// opening by the paths given on the command line, raw reads and writes in
// binary mode (the text-mode rules are applied by the program itself), the
// same-file check, and the working buffer.
#ifndef PLAINWRIT_PLATFORM_FILE_H
#define PLAINWRIT_PLATFORM_FILE_H

#include <cstddef>
#include <cstdint>

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// Paths as the command line gives them: UTF-16 on Windows, so that any name
// the system allows can be opened; bytes elsewhere.
#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif

// Opens an existing file for reading. A directory is refused, also where the
// system itself would open it.
FileHandle openInputFile(const PathChar* path);

// True when `path` names an existing file that is the one open as `input`
// (the same file also through a symbolic or hard link).
bool isSameFile(FileHandle input, const PathChar* path);

// Creates the file, or empties it when it exists.
FileHandle openOutputFile(const PathChar* path);

// Raw transfer, in the shape the text-mode rules expect; `file` points to a
// FileHandle.
std::ptrdiff_t readFileBytes(void* file, char* buffer, std::size_t capacity);
bool writeFileBytes(void* file, const char* data, std::size_t size);

// Returns false when the system reports that the close (and with it the last
// write) failed.
bool closeFile(FileHandle file);

// A buffer of `size` bytes, not cleared; nullptr when there is no memory.
char* obtainBuffer(std::size_t size);
void releaseBuffer(char* buffer);

#endif
